// ComputerKeyboard: what the computer keyboard plays while the panel has the
// focus. Notes go by X keycode, the key's place whatever the layout: the lower
// row Z S X D C V G B H N J M is one octave from C, the upper row
// Q 2 W 3 E R 5 T 6 Y 7 U the next. Left and Right move the octave, Up and Down
// the velocity by 16. A press of a key already down is the keyboard's repeat
// and plays nothing; a key plays until its release, or until the focus is lost.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

struct KeyboardNote {
    unsigned char status, key, velocity;  // note on 0x90 or note off 0x80, channel 1
    bool operator==(const KeyboardNote&) const = default;
};

// Semitones above the lower row's C (0..23), or nullopt for a key that plays no note.
std::optional<int> keyboardSemitone(unsigned keycode);

class ComputerKeyboard {
public:
    static constexpr int kLowestC = 24, kHighestC = 96, kDefaultC = 48, kDefaultVelocity = 100;

    // What a key press or release plays; the arrows change the octave or the velocity.
    std::vector<KeyboardNote> key(unsigned keycode, unsigned long keysym, bool pressed);
    // Releases every held key (the window lost the focus).
    std::vector<KeyboardNote> releaseAll();

    int lowerC() const { return mLowerC; }  // the lower row's C, a MIDI key
    int velocity() const { return mVelocity; }
    // "C3, velocity 100": the lower row's octave, for the window title.
    std::string describe() const;

private:
    int mLowerC = kDefaultC, mVelocity = kDefaultVelocity;
    std::array<int, 256> mHeld = filled();  // the key each keycode plays, -1 when up
    static std::array<int, 256> filled() {
        std::array<int, 256> a;
        a.fill(-1);
        return a;
    }
};
