// make-demo: writes the demo song, a sliding bassline and then a lead with pitch bend and mod wheel.
//
// One channel, one voice: notes marked as slides overlap the next note (its note-on comes
// before their note-off), which a monophonic instrument plays as legato. The instrument sounds
// two octaves below concert pitch, so the bass sits on keys 48-67 and the lead on 65-84.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

#include "Host/Smf.h"

namespace {

constexpr double kBpm = 120;
constexpr double kSecondsPerBeat = 60.0 / kBpm;
constexpr std::uint8_t kChannel = 0;

struct Step {
    int key;
    double beats;
    bool slide;  // hold into the next note
};

class Song {
public:
    void play(const std::vector<Step>& steps, int velocity, double gate) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            // Accent on the beat, so the line breathes.
            const int accent = std::fmod(mBeat, 1.0) == 0 ? 12 : 0;
            add(mBeat, 0x90, s.key, std::min(127, velocity + accent));
            const double off = s.slide ? s.beats + 1.0 / 16 : s.beats * gate;
            add(mBeat + off, 0x80, s.key, 0);
            mBeat += s.beats;
        }
    }

    // Up by the full bend (two semitones at the usual range) and back, in even steps.
    void bend(double startBeat, double upBeats, double holdBeats, double downBeats) {
        constexpr int kSteps = 12;
        for (int k = 1; k <= kSteps; ++k) addBend(startBeat + upBeats * k / kSteps, 8192 + 8191 * k / kSteps);
        const double down = startBeat + upBeats + holdBeats;
        for (int k = 1; k <= kSteps; ++k) addBend(down + downBeats * k / kSteps, 16383 - 8191 * k / kSteps);
    }

    void modSwell(double startBeat, double riseBeats, double fallBeats) {
        constexpr int kSteps = 16;
        for (int k = 1; k <= kSteps; ++k) add(startBeat + riseBeats * k / kSteps, 0xB0, 1, 127 * k / kSteps);
        for (int k = 1; k <= kSteps; ++k)
            add(startBeat + riseBeats + fallBeats * k / kSteps, 0xB0, 1, 127 - 127 * k / kSteps);
    }

    void rest(double beats) { mBeat += beats; }
    double beat() const { return mBeat; }
    const std::vector<MidiEvent>& events() const { return mEvents; }

    void add(double beat, int kind, int data1, int data2) {
        mEvents.push_back(
            {beat * kSecondsPerBeat, std::uint8_t(kind | kChannel), std::uint8_t(data1), std::uint8_t(data2)});
    }

private:
    void addBend(double beat, int value) { add(beat, 0xE0, value & 0x7F, value >> 7); }

    std::vector<MidiEvent> mEvents;
    double mBeat = 0;
};

Song compose() {
    Song song;
    song.add(0, 0xB0, 1, 0);        // mod wheel down
    song.add(0, 0xE0, 0x00, 0x40);  // bend centred

    // Bass, D minor, eighth notes; slides drop or leap an octave.
    const double e = 0.5;
    song.play({{50, e, false},
               {50, e, false},
               {62, e, true},
               {50, e, false},
               {53, e, false},
               {55, e, true},
               {57, e, false},
               {62, e, true}},
              84, 0.6);
    song.play({{53, e, false},
               {53, e, false},
               {65, e, true},
               {53, e, false},
               {55, e, false},
               {57, e, true},
               {60, e, false},
               {65, e, true}},
              84, 0.6);
    song.play({{48, e, false},
               {48, e, false},
               {60, e, true},
               {48, e, false},
               {52, e, false},
               {55, e, true},
               {57, e, false},
               {60, e, true}},
              84, 0.6);
    song.play({{55, e, false},
               {55, e, false},
               {67, e, true},
               {55, e, false},
               {57, 2 * e, true},
               {61, e, true},
               {64, e, true}},
              84, 0.6);
    song.play({{62, e, true},
               {50, e, false},
               {50, e, false},
               {62, e, true},
               {60, e, true},
               {57, e, true},
               {55, e, true},
               {53, e, false}},
              84, 0.6);

    // Lead, legato, with a bend on the long notes and the mod wheel swelling.
    const double lead = song.beat();
    song.play({{69, 1, true}, {72, 1, true}, {74, 2, false}}, 96, 0.9);
    song.bend(lead + 2.25, 0.5, 0.5, 0.5);
    song.play({{77, 1.5, true}, {76, 0.5, true}, {74, 1, true}, {72, 1, true}}, 96, 0.9);
    song.play({{74, 4, false}}, 100, 0.95);
    song.modSwell(lead + 8.25, 2, 1.5);
    song.play({{81, 1, true}, {79, 1, true}, {77, 1, true}, {76, 1, true}}, 96, 0.9);
    const double last = song.beat();
    song.play({{74, 3, false}}, 100, 1.0);
    song.modSwell(last, 1.5, 1.5);
    song.bend(last + 0.5, 0.75, 0.75, 0.75);
    song.rest(1);
    return song;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "examples/demo.mid";
    try {
        const Song song = compose();
        writeSmfFile(path, song.events(), 480, kBpm);
        const MidiSong check = readSmfFile(path);
        std::printf("wrote %s: %zu events, %.2f s\n", path, check.events.size(), check.lengthSeconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
