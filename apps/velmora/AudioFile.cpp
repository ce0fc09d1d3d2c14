// Audio output: WAV (RF64), FLAC and Ogg Vorbis files through libsndfile, WAV streams with
// a header of our own.
#include "AudioFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

int subtype(SampleFormat format) {
    return format == SampleFormat::Float   ? SF_FORMAT_FLOAT
           : format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16
                                           : SF_FORMAT_PCM_24;
}

void putLittle(unsigned char* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;
constexpr int kHeaderBytes = 44;

// RIFF, fmt and data chunk headers; 3 is IEEE float, 1 integer PCM.
void streamHeader(unsigned char* h, int channels, int sampleRate, SampleFormat format, std::uint32_t dataBytes) {
    const std::uint32_t bytes = std::uint32_t(bytesPerSample(format));
    std::memcpy(h, "RIFF", 4);
    putLittle(h + 4, dataBytes == kUnknownSize ? kUnknownSize : dataBytes + 36, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLittle(h + 16, 16, 4);
    putLittle(h + 20, format == SampleFormat::Float ? 3 : 1, 2);
    putLittle(h + 22, std::uint32_t(channels), 2);
    putLittle(h + 24, std::uint32_t(sampleRate), 4);
    putLittle(h + 28, std::uint32_t(sampleRate) * std::uint32_t(channels) * bytes, 4);
    putLittle(h + 32, std::uint32_t(channels) * bytes, 2);
    putLittle(h + 34, 8 * bytes, 2);
    std::memcpy(h + 36, "data", 4);
    putLittle(h + 40, dataBytes, 4);
}

}  // namespace

int bytesPerSample(SampleFormat format) {
    return format == SampleFormat::Float ? 4 : format == SampleFormat::Pcm16 ? 2 : 3;
}

Container containerFor(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extension == ".flac" ? Container::Flac : extension == ".ogg" ? Container::Ogg : Container::Wav;
}

std::uintmax_t audioBytes(long long frames, int channels, SampleFormat format) {
    return std::uintmax_t(frames) * std::uintmax_t(channels) * std::uintmax_t(bytesPerSample(format)) + 4096;
}

AudioWriter::AudioWriter(const OutputTarget& target, Container container, int channels, int sampleRate,
                         SampleFormat format)
    : mTarget(target), mChannels(channels), mFormat(format) {
    SF_INFO wav{};
    wav.samplerate = sampleRate;
    wav.channels = channels;
    if (container != Container::Wav && !target.regularFile())
        throw std::runtime_error(target.name() +
                                 ": FLAC and Ogg are written to files only; a stream gets WAV (name it "
                                 "without .flac or .ogg)");
    if (container == Container::Flac && format == SampleFormat::Float)
        throw std::runtime_error(target.name() + ": FLAC has no float samples; use --format 24 or 16");
    if (target.regularFile()) {
        mFile = std::make_unique<ReplacementFile>(target);
        wav.format = container == Container::Flac  ? SF_FORMAT_FLAC | subtype(format)
                     : container == Container::Ogg ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                                                   : SF_FORMAT_RF64 | subtype(format);
        mSound = sf_open_fd(mFile->fd(), SFM_WRITE, &wav, SF_FALSE);
        if (!mSound) fail("cannot write", sf_strerror(nullptr));
        if (container == Container::Wav) sf_command(mSound, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    } else {
        mFd = openInPlace(target);
        try {
            openStream(wav);
        } catch (...) {
            if (mFd != STDOUT_FILENO) close(mFd);
            throw;
        }
    }
    sf_command(mSound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

// libsndfile cannot write WAV where it cannot seek back to the header, but it writes
// headerless samples anywhere: the header is ours, the samples its conversion.
void AudioWriter::openStream(const SF_INFO& wav) {
    struct stat st {};
    // Redirected to a file: the sizes are filled in at the end (an appending descriptor
    // would append them instead).
    if (mFd == STDOUT_FILENO && fstat(mFd, &st) == 0 && S_ISREG(st.st_mode) && !(fcntl(mFd, F_GETFL) & O_APPEND))
        mHeaderAt = lseek(mFd, 0, SEEK_CUR);
    unsigned char header[kHeaderBytes];
    streamHeader(header, wav.channels, wav.samplerate, mFormat, kUnknownSize);
    if (!writeAll(mFd, header, sizeof header)) fail("cannot write", std::strerror(errno));
    mIo = {streamLength, streamSeek, streamRead, streamWrite, streamLength};
    SF_INFO raw = wav;
    raw.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE | subtype(mFormat);
    mSound = sf_open_virtual(&mIo, SFM_WRITE, &raw, this);
    if (!mSound) fail("cannot write", sf_strerror(nullptr));
}

sf_count_t AudioWriter::streamLength(void* self) { return static_cast<AudioWriter*>(self)->mStreamBytes; }
sf_count_t AudioWriter::streamSeek(sf_count_t, int, void* self) {
    return static_cast<AudioWriter*>(self)->mStreamBytes;
}
sf_count_t AudioWriter::streamRead(void*, sf_count_t, void*) { return 0; }
sf_count_t AudioWriter::streamWrite(const void* data, sf_count_t bytes, void* self) {
    auto& w = *static_cast<AudioWriter*>(self);
    if (!writeAll(w.mFd, data, std::size_t(bytes))) {
        w.mStreamError = errno;
        return 0;
    }
    w.mStreamBytes += bytes;
    return bytes;
}

AudioWriter::~AudioWriter() {
    if (mSound) sf_close(mSound);
    if (mFd >= 0 && mFd != STDOUT_FILENO) close(mFd);
}

void AudioWriter::fail(const char* what, const std::string& reason) const {
    throw std::runtime_error(mTarget.name() + ": " + what + " (" + reason + ")");
}

void AudioWriter::write(std::span<const float> interleaved) {
    const sf_count_t frames = sf_count_t(interleaved.size()) / mChannels;
    if (sf_writef_float(mSound, interleaved.data(), frames) != frames)
        fail("writing failed", mFile ? sf_strerror(mSound) : std::strerror(mStreamError));
}

void AudioWriter::finish() {
    const std::string error = sf_strerror(mSound);
    const int closed = sf_close(mSound);
    mSound = nullptr;
    if (closed != 0) fail("writing failed", error);
    if (mFile) {
        char magic[4] = {};
        mRf64 = pread(mFile->fd(), magic, 4, 0) == 4 && std::memcmp(magic, "RF64", 4) == 0;
        mFile->commit();
        return;
    }
    if (mHeaderAt >= 0 && mStreamBytes < kUnknownSize - 36) {
        unsigned char riffSize[4], dataSize[4];
        putLittle(riffSize, std::uint32_t(mStreamBytes + 36), 4);
        putLittle(dataSize, std::uint32_t(mStreamBytes), 4);
        const bool padded = mStreamBytes % 2 == 0 || writeAll(mFd, "", 1);  // chunks have even lengths
        if (!padded || pwrite(mFd, riffSize, 4, mHeaderAt + 4) != 4 || pwrite(mFd, dataSize, 4, mHeaderAt + 40) != 4)
            fail("writing failed", std::strerror(errno));
    }
    if (mFd != STDOUT_FILENO && close(mFd) != 0) {
        mFd = -1;
        fail("writing failed", std::strerror(errno));
    }
    mFd = -1;
}
