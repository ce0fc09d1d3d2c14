// AudioWriter: interleaved float samples streamed to a WAV, FLAC or Ogg Vorbis output
// as they are rendered.
#pragma once
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "OutputFile.h"

enum class SampleFormat { Float, Pcm24, Pcm16 };

int bytesPerSample(SampleFormat format);

// The file format, by the output's name: ".flac" and ".ogg" (any case); anything else is WAV.
// FLAC holds 16- and 24-bit samples; Ogg Vorbis is lossy and ignores the sample format.
enum class Container { Wav, Flac, Ogg };
Container containerFor(const std::filesystem::path& path);

// The most bytes `frames` can take in a WAV, headers included (FLAC and Ogg take less).
std::uintmax_t audioBytes(long long frames, int channels, SampleFormat format);

// Integer formats clip at full scale instead of wrapping, the same way on every output.
class AudioWriter {
public:
    // A regular file is written by libsndfile under a temporary name until finish(): a WAV
    // as RF64, which stays a plain WAV below 4 GiB; FLAC and Ogg as they are. Standard
    // output, FIFOs and character devices get WAV only, written in place with the header
    // of a stream of unknown length (RIFF and data sizes 0xFFFFFFFF: "to the end"), as
    // readers of piped WAV expect. Throws std::runtime_error with a message on failure.
    AudioWriter(const OutputTarget& target, Container container, int channels, int sampleRate, SampleFormat format);
    ~AudioWriter();  // unfinished: a temporary file is removed, a stream stays as written
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(std::span<const float> interleaved);
    void finish();
    bool rf64() const { return mRf64; }  // after finish(): the file went past 4 GiB

private:
    static sf_count_t streamLength(void* self);
    static sf_count_t streamSeek(sf_count_t offset, int whence, void* self);
    static sf_count_t streamRead(void* data, sf_count_t bytes, void* self);
    static sf_count_t streamWrite(const void* data, sf_count_t bytes, void* self);
    void openStream(const SF_INFO& wav);
    [[noreturn]] void fail(const char* what, const std::string& reason) const;

    OutputTarget mTarget;
    int mChannels;
    SampleFormat mFormat;
    std::unique_ptr<ReplacementFile> mFile;  // regular files
    int mFd = -1;                            // streams: the descriptor written in place
    long long mStreamBytes = 0;              // streams: bytes after the header
    int mStreamError = 0;                    // streams: errno of a failed write
    long long mHeaderAt = -1;                // standard output that is a regular file: where the header is
    SF_VIRTUAL_IO mIo{};
    SNDFILE* mSound = nullptr;
    bool mRf64 = false;
};
