// WAV output through libsndfile, written atomically.
#include "WavFile.h"

#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {
std::filesystem::path temporaryBeside(const std::filesystem::path& path) {
    return path.parent_path() / ("." + path.filename().string() + ".tmp" + std::to_string(getpid()));
}
}  // namespace

void writeWavFile(const std::filesystem::path& path, const std::vector<float>& interleaved, int channels,
                  int sampleRate, SampleFormat format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Float   ? SF_FORMAT_FLOAT
                                   : format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16
                                                                   : SF_FORMAT_PCM_24);
    const std::filesystem::path temp = temporaryBeside(path);
    SNDFILE* file = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error(path.string() + ": cannot write (" + sf_strerror(nullptr) + ")");
    // Integer formats clip instead of wrapping.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = sf_count_t(interleaved.size() / size_t(channels));
    const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
    const std::string error = sf_strerror(file);
    const int closed = sf_close(file);
    if (written != frames || closed != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error(path.string() + ": writing failed (" + error + ")");
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        throw std::runtime_error(path.string() + ": cannot write (" + ec.message() + ")");
    }
}

void writeFileAtomically(const std::filesystem::path& path, const std::string& bytes) {
    const std::filesystem::path temp = temporaryBeside(path);
    {
        std::ofstream out(temp, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            throw std::runtime_error(path.string() + ": cannot write");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        throw std::runtime_error(path.string() + ": cannot write (" + ec.message() + ")");
    }
}
