// writeWavFile: interleaved float samples to a WAV file, written under a
// temporary name and renamed, so that a failure leaves no half file.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

enum class SampleFormat { Float, Pcm24, Pcm16 };

// Throws std::runtime_error with a message on failure.
void writeWavFile(const std::filesystem::path& path, const std::vector<float>& interleaved, int channels,
                  int sampleRate, SampleFormat format);

// Writes `bytes` under a temporary name beside `path` and renames it.
void writeFileAtomically(const std::filesystem::path& path, const std::string& bytes);
