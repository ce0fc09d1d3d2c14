// WebInstrument: one instance of the instrument in the web page, either the
// AudioWorklet's, which sounds, or the page's own, the unit its controls edit.
// Every call returns a status and none throws, so no exception ever reaches the
// page's scripts or the worklet; render allocates nothing.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Host/InstrumentDriver.h"
#include "Host/SongPlayer.h"

class WebInstrument {
public:
    // The worklet's calls and the page's events: 64 frames, as every host of ours.
    static constexpr UInt32 kBlockFrames = 64;
    static constexpr UInt32 kChannels = 2;

    // Opens and initializes the instrument at this rate, two channels.
    OSStatus open(double sampleRate);
    InstrumentDriver& driver() { return mDriver; }

    // The next 64 frames into output(0) and output(1): the playing song's
    // events due in them first.
    OSStatus render();
    float* output(UInt32 channel) { return mOutput[channel % kChannels]; }

    // A song to play from the next render: `count` events, their times in
    // seconds and three bytes each (status, data 1, data 2), ending as
    // `velmora render` ends it (the instrument idle after the last event, or
    // 30 s of tail). Replaces a song still playing, releasing its notes.
    OSStatus playSong(const double* seconds, const std::uint8_t* bytes, std::uint32_t count);
    // Stops the song and releases its notes.
    OSStatus stopSong();
    bool songPlaying() const { return mSong && !mSong->finished(); }
    // Frames the song has played; the render's length once it has finished.
    long long songPosition() const { return mSong ? mSong->position() : 0; }

    // A Standard MIDI File read as `velmora render` reads it (leniently: a cut
    // file gives what comes before the cut). On success the events are in
    // songSeconds/songBytes and message() holds the cut warning, if any; on
    // failure message() holds the error, both prefixed with `name`.
    bool readSong(const std::string& name, std::span<const std::byte> file);
    const std::vector<double>& songSeconds() const { return mSeconds; }
    const std::vector<std::uint8_t>& songBytes() const { return mBytes; }
    // The frames `velmora render` would render at most for the song read last.
    double songLimit(double sampleRate) const;

    // Parameters, factory presets and the panel's groups as JSON.
    OSStatus describe(std::string& json);
    // The current preset's name.
    OSStatus presetName(std::string& name);

    // The state in the page's encoding (StateCodec.h), and back. A state that
    // the instrument refuses leaves every setting as it was.
    OSStatus saveState(std::vector<std::uint8_t>& encoded);
    OSStatus restoreState(std::span<const std::uint8_t> encoded);

    const std::string& message() const { return mMessage; }

private:
    InstrumentDriver mDriver;
    double mSampleRate = 0;
    float mOutput[kChannels][kBlockFrames] = {};
    std::unique_ptr<SongPlayer> mSong;
    MidiSong mRead;
    std::vector<double> mSeconds;
    std::vector<std::uint8_t> mBytes;
    std::string mMessage;
};
