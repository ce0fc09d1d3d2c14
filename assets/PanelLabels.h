// Where the panel's background puts its sections and labels, in panel pixels.
// The boxes are placed in the gaps of the control layout; a test checks that
// no label box touches a control.
#pragma once

namespace panel_art {

struct Box {
    int x, y, w, h;
};

struct Section {
    Box box;
    const char* title;  // drawn in the box's top-left corner; empty for none
};

enum class Align { left, centre, vertical };  // vertical: reads upwards

struct Label {
    Box box;
    const char* text;
    Align align;
};

constexpr int kWidth = 850, kHeight = 590;

inline constexpr Section kSections[] = {
    {{8, 4, 284, 76}, ""},     {{298, 4, 274, 76}, ""},   {{578, 4, 266, 70}, ""},    {{8, 84, 284, 500}, ""},
    {{298, 84, 274, 500}, ""}, {{578, 76, 266, 226}, ""}, {{578, 306, 266, 212}, ""}, {{578, 520, 266, 64}, ""},
};

inline constexpr Label kLabels[] = {
    // Master strip.
    {{17, 64, 60, 10}, "VOLUME", Align::centre},
    {{169, 6, 100, 11}, "ROUTING", Align::centre},
    {{614, 29, 56, 10}, "TRIGGER", Align::centre},
    {{689, 63, 60, 10}, "GLIDE", Align::centre},
    {{768, 6, 70, 11}, "BEND UP / DOWN", Align::centre},
    // Oscillators and noise.
    {{20, 91, 110, 12}, "OSCILLATOR 1", Align::left},
    {{164, 91, 110, 12}, "OSCILLATOR 2", Align::left},
    {{22, 127, 110, 10}, "TUNE   src / depth", Align::left},
    {{166, 127, 110, 10}, "TUNE   src / depth", Align::left},
    {{22, 230, 110, 10}, "SHAPE   src / depth", Align::left},
    {{166, 230, 110, 10}, "SHAPE   src / depth", Align::left},
    {{22, 334, 110, 10}, "VARIATION   src / depth", Align::left},
    {{166, 334, 110, 10}, "VARIATION   src / depth", Align::left},
    {{20, 450, 100, 12}, "NOISE", Align::left},
    {{22, 472, 76, 10}, "GAIN", Align::left},
    {{200, 472, 76, 10}, "PAN", Align::left},
    // Filters, shapers and mix.
    {{308, 91, 110, 12}, "FILTER A", Align::left},
    {{452, 91, 110, 12}, "FILTER B", Align::left},
    {{310, 127, 110, 10}, "CUTOFF   src / depth", Align::left},
    {{454, 127, 110, 10}, "CUTOFF   src / depth", Align::left},
    {{310, 230, 48, 10}, "RESO", Align::centre},
    {{368, 230, 48, 10}, "KEY", Align::centre},
    {{454, 230, 48, 10}, "RESO", Align::centre},
    {{512, 230, 48, 10}, "KEY", Align::centre},
    {{308, 306, 110, 12}, "SHAPER A", Align::left},
    {{452, 306, 110, 12}, "SHAPER B", Align::left},
    {{310, 450, 110, 12}, "OSC 1 GAIN", Align::left},
    {{310, 472, 76, 10}, "MIX MODE", Align::left},
    {{490, 472, 74, 10}, "OSC 2 GAIN", Align::left},
    // Envelopes.
    {{593, 77, 48, 10}, "ATTACK", Align::centre},
    {{643, 77, 48, 10}, "DECAY", Align::centre},
    {{693, 77, 48, 10}, "SUSTAIN", Align::centre},
    {{743, 77, 48, 10}, "RELEASE", Align::centre},
    {{793, 77, 48, 10}, "VELO", Align::centre},
    {{580, 89, 11, 48}, "ENV 1", Align::vertical},
    {{580, 169, 11, 48}, "ENV 2", Align::vertical},
    {{580, 249, 11, 48}, "ENV 3", Align::vertical},
    // LFOs.
    {{596, 316, 92, 12}, "LFO 1", Align::left},
    {{696, 318, 92, 10}, "VOL SRC", Align::centre},
    {{790, 318, 48, 10}, "VOL", Align::centre},
    {{596, 401, 48, 10}, "SPEED", Align::centre},
    {{646, 401, 48, 10}, "PHASE", Align::centre},
    {{696, 401, 48, 10}, "DEPTH", Align::centre},
    {{744, 401, 92, 10}, "SPEED SRC", Align::centre},
    {{596, 419, 92, 12}, "LFO 2", Align::left},
    {{696, 421, 92, 10}, "VOL SRC", Align::centre},
    {{790, 421, 48, 10}, "VOL", Align::centre},
    {{596, 504, 48, 10}, "SPEED", Align::centre},
    {{646, 504, 48, 10}, "PHASE", Align::centre},
    {{696, 504, 48, 10}, "DEPTH", Align::centre},
    {{744, 504, 92, 10}, "SPEED SRC", Align::centre},
    // Multipliers.
    {{600, 524, 115, 11}, "MULTIPLIER A", Align::left},
    {{723, 524, 115, 11}, "MULTIPLIER B", Align::left},
    // What the mode LEDs choose: the sources added (0) or multiplied (1).
    {{610, 552, 11, 11}, "+", Align::centre},
    {{610, 563, 11, 11}, "\u00d7", Align::centre},
    {{733, 552, 9, 11}, "+", Align::centre},
    {{733, 563, 9, 11}, "\u00d7", Align::centre},
};

}  // namespace panel_art
