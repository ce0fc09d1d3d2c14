// Fuzz target: arbitrary bytes as a Standard MIDI File, read strictly and
// leniently. The reader either refuses them with std::runtime_error or returns
// a song whose events are channel messages in time order, at finite times within
// the song's length.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <stdexcept>

#include "Host/Smf.h"

namespace {
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void check(std::span<const std::byte> bytes, SmfReading reading) {
    MidiSong song;
    try {
        song = readSmf(bytes, reading);
    } catch (const std::runtime_error& e) {
        if (!*e.what()) fail("a refusal without a message");
        return;
    }
    if (reading == SmfReading::Strict && !song.cutShort.empty()) fail("a strict reading of a file cut short");
    if (!std::isfinite(song.lengthSeconds) || song.lengthSeconds < 0) fail("song length");
    double previous = 0;
    for (const MidiEvent& e : song.events) {
        if (!std::isfinite(e.seconds) || e.seconds < previous) fail("events out of time order");
        if (e.seconds > song.lengthSeconds) fail("an event after the end of the song");
        if (e.status < 0x80 || e.status > 0xEF || e.data1 > 0x7F || e.data2 > 0x7F) fail("not a channel message");
        const std::uint8_t kind = e.status & 0xF0;
        if ((kind == 0xC0 || kind == 0xD0) && e.data2 != 0) fail("a one-byte message with a second byte");
        previous = e.seconds;
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
    check(bytes, SmfReading::Strict);
    check(bytes, SmfReading::Lenient);
    return 0;
}
