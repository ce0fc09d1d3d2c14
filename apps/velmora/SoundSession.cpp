// SoundSession: names, edits and where sounds are written.
#include "SoundSession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "OutputFile.h"
#include "PlatformUI/AUListener.h"
#include "StateFile.h"

namespace fs = std::filesystem;

void notifyAllParameters(HostedInstrument& instrument) {
    for (const ParameterDescription& p : instrument.parameters()) {
        const AudioUnitParameter parameter{instrument.unit(), p.id, kAudioUnitScope_Global, 0};
        AUParameterListenerNotify(nullptr, nullptr, &parameter);
    }
}

namespace {

std::vector<float> valuesOf(HostedInstrument& instrument) {
    std::vector<float> values;
    for (const ParameterDescription& p : instrument.parameters()) values.push_back(instrument.getParameter(p.id));
    return values;
}

// "2026-12-11-134501": a new sound's file name, in local time.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d-%H%M%S", &local);
    return text;
}

}  // namespace

SoundSession::SoundSession(HostedInstrument& instrument, std::string saveFile)
    : mInstrument(instrument), mSaveFile(std::move(saveFile)), mSnapshot(valuesOf(instrument)) {}

void SoundSession::opened(const std::string& preset, const std::string& state) {
    if (!state.empty())
        loaded(fs::path(state).filename().string(), std::nullopt);
    else if (!preset.empty())
        if (const auto number = mInstrument.findPreset(preset))
            loaded(mInstrument.factoryPresets()[size_t(*number)].second, number);
}

void SoundSession::loaded(std::string name, std::optional<SInt32> preset) {
    mName = std::move(name);
    mPreset = preset;
    mSnapshot = valuesOf(mInstrument);
    mEdited = false;
}

bool SoundSession::edited() {
    // Bit for bit: a value moved and moved back is no edit.
    const std::vector<float> now = valuesOf(mInstrument);
    mEdited =
        now.size() != mSnapshot.size() || std::memcmp(now.data(), mSnapshot.data(), now.size() * sizeof(float)) != 0;
    return mEdited;
}

std::string SoundSession::title() {
    return std::string(edited() ? "*" : "") + "Velmora" + (mName.empty() ? "" : " \u2014 " + mName);
}

fs::path SoundSession::soundsFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && fs::path(data).is_absolute())
        return fs::path(data) / "velmora" / "sounds";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".local" / "share" / "velmora" / "sounds";
    return fallbackFolder();
}

fs::path SoundSession::fallbackFolder() {
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    return (ec ? fs::path("/tmp") : temporary) / "velmora-sounds";
}

void SoundSession::saveTo(const fs::path& path) {
    saveStateFile(mInstrument, path);
    loaded(path.filename().string(), std::nullopt);
    std::printf("%s: saved\n", path.c_str());
    std::fflush(stdout);
}

void SoundSession::keepEdits() {
    if (!edited()) return;
    CFPropertyListRef state = mInstrument.saveState();
    const std::string xml = stateToXml(state);
    CFRelease(state);
    fs::path written;
    try {
        written = writeNewFile(soundsFolder(), timeStamp(), ".aupreset", xml);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s; trying %s\n", e.what(), fallbackFolder().c_str());
        written = writeNewFile(fallbackFolder(), timeStamp(), ".aupreset", xml);
    }
    loaded(written.filename().string(), std::nullopt);
    std::printf("unsaved edits kept in %s\n", written.c_str());
    std::fflush(stdout);
}

void SoundSession::save() {
    try {
        if (!mSaveFile.empty())
            saveTo(mSaveFile);
        else if (edited())
            keepEdits();
        else
            std::printf("nothing edited since the sound was loaded or saved\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s\n", e.what());
    }
    std::fflush(stdout);
}

bool SoundSession::finish() {
    if (!mSaveFile.empty()) {
        try {
            saveTo(mSaveFile);
            return true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora: %s\n", e.what());
            mEdited = true;  // not written: keep it below, whatever the snapshot says
            mSnapshot.clear();
        }
    }
    try {
        keepEdits();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s; the sound is lost\n", e.what());
        return false;
    }
}

void SoundSession::selectPreset(SInt32 number) {
    const auto presets = mInstrument.factoryPresets();
    if (number < 0 || size_t(number) >= presets.size()) return;
    try {
        keepEdits();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s; preset %d not loaded, to keep the edits\n", e.what(), int(number));
        return;
    }
    mInstrument.selectPreset(number);
    notifyAllParameters(mInstrument);
    loaded(presets[size_t(number)].second, number);
    std::printf("preset %d: %s\n", int(number), mName.c_str());
    std::fflush(stdout);
}

void SoundSession::stepPreset(int step) {
    const auto count = SInt32(mInstrument.factoryPresets().size());
    if (count == 0) return;
    const SInt32 from = mPreset ? *mPreset : (step > 0 ? -1 : 0);
    selectPreset(((from + step) % count + count) % count);
}
