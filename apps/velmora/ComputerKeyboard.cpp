// ComputerKeyboard: the two tracker rows, octave and velocity.
#include "ComputerKeyboard.h"

#include <X11/keysym.h>

#include <algorithm>

std::optional<int> keyboardSemitone(unsigned keycode) {
    // X keycodes of a PC keyboard (evdev, as every current X server numbers them).
    static constexpr unsigned kLowerRow[12] = {52, 39, 53, 40, 54, 55,
                                               42, 56, 43, 57, 44, 58};  // Z S X D C V G B H N J M
    static constexpr unsigned kUpperRow[12] = {24, 11, 25, 12, 26, 27,
                                               14, 28, 15, 29, 16, 30};  // Q 2 W 3 E R 5 T 6 Y 7 U
    for (int i = 0; i < 12; ++i) {
        if (kLowerRow[i] == keycode) return i;
        if (kUpperRow[i] == keycode) return 12 + i;
    }
    return std::nullopt;
}

std::vector<KeyboardNote> ComputerKeyboard::key(unsigned keycode, unsigned long keysym, bool pressed) {
    if (keycode >= mHeld.size()) return {};
    if (const auto semitone = keyboardSemitone(keycode)) {
        int& held = mHeld[keycode];
        if (pressed) {
            if (held >= 0) return {};  // auto-repeat
            held = mLowerC + *semitone;
            return {{0x90, (unsigned char)held, (unsigned char)mVelocity}};
        }
        if (held < 0) return {};
        const KeyboardNote off{0x80, (unsigned char)held, 0};
        held = -1;
        return {off};
    }
    if (!pressed) return {};
    switch (keysym) {
        case XK_Left: mLowerC = std::max(kLowestC, mLowerC - 12); break;
        case XK_Right: mLowerC = std::min(kHighestC, mLowerC + 12); break;
        case XK_Up: mVelocity = std::min(127, mVelocity + 16); break;
        case XK_Down: mVelocity = std::max(1, mVelocity - 16); break;
        default: break;
    }
    return {};
}

std::vector<KeyboardNote> ComputerKeyboard::releaseAll() {
    std::vector<KeyboardNote> offs;
    for (int& held : mHeld) {
        if (held < 0) continue;
        offs.push_back({0x80, (unsigned char)held, 0});
        held = -1;
    }
    return offs;
}

std::string ComputerKeyboard::describe() const {
    // Middle C (key 60) is C4.
    return "C" + std::to_string(mLowerC / 12 - 1) + ", velocity " + std::to_string(mVelocity);
}
