// make-audition: writes the phrase that `velmora presets --measure` plays with every preset.
//
// Sections, one after another, each with the wheel, pressure and bend back at rest:
// a phrase over keys 36-84 at velocity 100; soft (30) and hard (127) notes; one note at
// wheel 0, 32, 64, 96 and 127; a wheel sweep; a pressure swell; a bend; a fast legato
// run; and velocity 127 with wheel and pressure full over keys 24-103, the loudest the
// voice is played. Held notes are long enough for their level and DC to be measured.
#include <cstdio>
#include <exception>
#include <vector>

#include "Host/Smf.h"

namespace {

class Phrase {
public:
    // A note of `hold` seconds, then a gap; `legato` starts the next note before this one ends.
    void note(int key, int velocity, double hold, double gap = 0.15) {
        add(mAt, 0x90, key, velocity);
        add(mAt + hold, 0x80, key, 0);
        mAt += hold + gap;
    }
    void legato(const std::vector<int>& keys, int velocity, double step) {
        for (size_t i = 0; i < keys.size(); ++i) {
            add(mAt, 0x90, keys[i], velocity);
            add(mAt + (i + 1 < keys.size() ? step * 1.2 : step), 0x80, keys[i], 0);
            mAt += step;
        }
        mAt += 0.3;
    }
    // A controller ramp from `from` to `to` over `seconds`, starting `after` seconds from now.
    void ramp(int kind, double after, double seconds, int from, int to) {
        constexpr int kSteps = 32;
        for (int k = 0; k <= kSteps; ++k) {
            const int v = from + (to - from) * k / kSteps;
            const double t = mAt + after + seconds * k / kSteps;
            if (kind == 0xE0)
                add(t, 0xE0, v & 0x7F, v >> 7);
            else if (kind == 0xD0)
                add(t, 0xD0, v, 0);
            else
                add(t, 0xB0, 1, v);
        }
    }
    void wheel(int value) { add(mAt, 0xB0, 1, value); }
    void pressure(int value) { add(mAt, 0xD0, value, 0); }
    void rest(double seconds) { mAt += seconds; }
    const std::vector<MidiEvent>& events() const { return mEvents; }

    void add(double at, int status, int data1, int data2) {
        mEvents.push_back({at, std::uint8_t(status), std::uint8_t(data1), std::uint8_t(data2)});
    }

private:
    std::vector<MidiEvent> mEvents;
    double mAt = 0;
};

Phrase compose() {
    Phrase p;
    p.wheel(0);
    p.pressure(0);
    p.add(0, 0xE0, 0x00, 0x40);

    for (int key : {36, 40, 43, 48, 52, 55, 60, 64, 67, 72, 76, 79, 84}) p.note(key, 100, 0.6);
    p.rest(0.5);
    for (int velocity : {30, 127})
        for (int key : {48, 60, 72}) p.note(key, velocity, 0.8);
    p.rest(0.5);
    for (int wheel : {0, 32, 64, 96, 127}) {
        p.wheel(wheel);
        p.rest(0.05);
        p.note(60, 100, 1.5, 0.3);
    }
    p.wheel(0);
    p.rest(0.3);
    p.ramp(0xB0, 0.2, 2.0, 0, 127);
    p.ramp(0xB0, 2.4, 1.5, 127, 0);
    p.note(55, 100, 4.2, 0.4);
    p.ramp(0xD0, 0.2, 1.5, 0, 127);
    p.ramp(0xD0, 1.9, 1.2, 127, 0);
    p.note(60, 100, 3.3, 0.4);
    p.ramp(0xE0, 0.3, 0.6, 8192, 16383);
    p.ramp(0xE0, 1.2, 1.2, 16383, 0);
    p.ramp(0xE0, 2.6, 0.4, 0, 8192);
    p.note(64, 100, 3.2, 0.4);
    p.legato({48, 52, 55, 60, 64, 67, 72, 67, 64, 60, 55, 52, 48, 55, 60, 67, 72, 79, 84, 79, 72}, 100, 0.09);
    p.wheel(127);
    p.pressure(127);
    for (int key = 24; key <= 103; key += 3) p.note(key, 127, 0.3, 0.05);
    p.note(103, 127, 0.3, 0.05);
    p.wheel(0);
    p.pressure(0);
    p.rest(1.0);
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "examples/audition.mid";
    try {
        writeSmfFile(path, compose().events(), 480, 120);
        const MidiSong check = readSmfFile(path);
        std::printf("wrote %s: %zu events, %.2f s\n", path, check.events.size(), check.lengthSeconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-audition: %s\n", e.what());
        return 1;
    }
    return 0;
}
