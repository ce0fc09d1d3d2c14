// Standard MIDI Files: a reader for formats 0 and 1, and a type-0 writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// A channel message (status 0x80..0xEF, channel included). Program change
// and channel pressure carry one data byte; their data2 is 0.
struct MidiEvent {
    double seconds;
    std::uint8_t status, data1, data2;
};

struct MidiSong {
    std::vector<MidiEvent> events;  // by time; ties keep track order, then order within the track
    double lengthSeconds = 0;       // latest end of track (or last event) over all tracks
    std::string cutShort;           // read leniently: where the file ended early; empty when whole
};

// A file that ends early (a cut download, a chunk that runs past the end of the
// file) is refused when strict; read leniently, it gives the complete events before
// the cut, releases the notes still sounding there, and says where it ended in
// `cutShort`. Every other fault is refused either way, as is a cut file with no
// channel event before the cut.
enum class SmfReading { Strict, Lenient };

// Throws std::runtime_error naming what is wrong and where (tracks counted
// from 1, byte offsets from the start of the file). readSmfFile prefixes the path.
MidiSong readSmf(std::span<const std::byte> bytes, SmfReading reading = SmfReading::Strict);
MidiSong readSmfFile(const std::filesystem::path& path, SmfReading reading = SmfReading::Strict);

// Type 0: one tempo, events at the nearest tick, running status. Events need
// not be sorted (ties keep their order). Throws std::invalid_argument for an
// event that is not a channel message, a negative or non-finite time, or a
// division or tempo the format cannot hold.
std::vector<std::byte> writeSmf(const std::vector<MidiEvent>& events, int ticksPerQuarter = 480, double bpm = 120);
// writeSmf into a file; throws std::runtime_error naming the path when it cannot be written.
void writeSmfFile(const std::filesystem::path& path, const std::vector<MidiEvent>& events, int ticksPerQuarter = 480,
                  double bpm = 120);
