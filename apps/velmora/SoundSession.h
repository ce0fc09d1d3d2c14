// SoundSession: the sound that `edit` and `play` work on, as a player sees it:
// its name in the window's title, whether it changed since it was loaded or
// saved, and where it goes so that no edit is ever lost.
//
// With --save FILE, Ctrl+S and the end of the session write FILE (replaced
// atomically). Without it, edits not yet saved go to a new file in the sounds
// folder ($XDG_DATA_HOME/velmora/sounds/, never over another file) on Ctrl+S,
// at the end (closing the window, Ctrl+C, SIGTERM, SIGHUP) and before a preset
// replaces them; each such file's path is printed.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Host/HostedInstrument.h"

// Every parameter changed outside the panel (a preset, a restored state): the panel's controls follow.
void notifyAllParameters(HostedInstrument& instrument);

class SoundSession {
public:
    SoundSession(HostedInstrument& instrument, std::string saveFile);

    // What --preset and --state loaded (the state file wins: it is applied last).
    void opened(const std::string& preset, const std::string& state);
    // Any parameter differs from the sound as it was loaded or saved.
    bool edited();
    // "Velmora — rez bass" (or "Velmora" before anything is loaded), with a "*"
    // in front once edited.
    std::string title();

    // Ctrl+S.
    void save();
    // The session ends: to --save, or the unsaved edits kept; where that fails,
    // what went wrong is said and the fallback folder tried. False when the sound
    // could not be written anywhere.
    bool finish();
    // Page Down (+1) and Page Up (-1) through the factory presets, wrapping: from
    // the loaded one, or from before the first after a state file.
    void stepPreset(int step);
    // A program change. Both keep unsaved edits first, and the panel follows.
    void selectPreset(SInt32 number);

    // $XDG_DATA_HOME/velmora/sounds (~/.local/share/velmora/sounds by default).
    static std::filesystem::path soundsFolder();
    // Where sounds go when the sounds folder cannot be written.
    static std::filesystem::path fallbackFolder();

private:
    void loaded(std::string name, std::optional<SInt32> preset);
    void saveTo(const std::filesystem::path& path);
    // Unsaved edits to a new file; throws std::runtime_error when no folder takes it.
    void keepEdits();

    HostedInstrument& mInstrument;
    std::string mSaveFile;
    std::string mName;  // empty: nothing loaded
    std::optional<SInt32> mPreset;
    std::vector<float> mSnapshot;  // the values as loaded or saved
    bool mEdited = false;
};
