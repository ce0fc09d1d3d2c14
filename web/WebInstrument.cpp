// WebInstrument: the instrument for the page and its worklet, through the driver.
#include "WebInstrument.h"

#include <cstdio>
#include <exception>

#include "Binding/VelmoraEntry.h"
#include "Host/ParameterGroups.h"
#include "Platform/Log.h"
#include "StateCodec.h"

namespace {

// The options `velmora render` plays a song with, at a rate of the page's.
RenderOptions songOptions(double sampleRate) {
    RenderOptions options;
    options.sampleRate = sampleRate;
    options.blockFrames = WebInstrument::kBlockFrames;
    options.channels = WebInstrument::kChannels;
    return options;
}

void appendJsonString(std::string& out, const std::string& s) {
    out += '"';
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

// Nine digits read back as the same float (no range holds an infinity, which JSON lacks).
void appendJsonNumber(std::string& out, float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    out += text;
}

}  // namespace

OSStatus WebInstrument::open(double sampleRate) {
    SetPlatformLogHook(PlatformLogSilent);  // the instrument's diagnostics have no reader here
    RegisterVelmora();
    mSampleRate = sampleRate;
    OSStatus status = mDriver.open(kVelmoraDescription);
    if (status == noErr) status = mDriver.setOutputFormat(sampleRate, kChannels);
    if (status == noErr) status = mDriver.ensureMaxFramesPerSlice(kBlockFrames);
    if (status == noErr) status = mDriver.initialize();
    return status;
}

OSStatus WebInstrument::render() {
    float* channels[kChannels] = {mOutput[0], mOutput[1]};
    UInt32 played = 0;
    if (songPlaying())
        if (const OSStatus status = mSong->renderBlock(mDriver, channels, played); status != noErr) return status;
    if (played == kBlockFrames) return noErr;
    float* rest[kChannels] = {mOutput[0] + played, mOutput[1] + played};
    return mDriver.render(kBlockFrames - played, rest);
}

OSStatus WebInstrument::playSong(const double* seconds, const std::uint8_t* bytes, std::uint32_t count) {
    MidiSong song;
    song.events.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        song.events.push_back({seconds[i], bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]});
    auto player = std::make_unique<SongPlayer>(song, songOptions(mSampleRate));
    // A song still playing leaves no note hanging.
    const OSStatus status = mSong ? mDriver.midi(0xB0, 123, 0, 0) : noErr;
    mSong = std::move(player);
    return status;
}

OSStatus WebInstrument::stopSong() {
    if (!mSong) return noErr;
    mSong.reset();
    return mDriver.midi(0xB0, 123, 0, 0);  // all notes off
}

bool WebInstrument::readSong(const std::string& name, std::span<const std::byte> file) {
    mSeconds.clear();
    mBytes.clear();
    mMessage.clear();
    try {
        mRead = readSmf(file, SmfReading::Lenient);
    } catch (const std::exception& e) {
        mRead = {};
        mMessage = name + ": " + e.what();
        return false;
    }
    if (!mRead.cutShort.empty()) mMessage = name + ": " + mRead.cutShort + "; playing what comes before it";
    for (const MidiEvent& e : mRead.events) {
        mSeconds.push_back(e.seconds);
        mBytes.insert(mBytes.end(), {e.status, e.data1, e.data2});
    }
    return true;
}

double WebInstrument::songLimit(double sampleRate) const {
    return double(maxRenderFrames(mRead, songOptions(sampleRate)));
}

OSStatus WebInstrument::describe(std::string& json) {
    std::vector<ParameterDescription> parameters;
    if (const OSStatus status = mDriver.describeParameters(parameters); status != noErr) return status;
    std::vector<std::pair<SInt32, std::string>> presets;
    if (const OSStatus status = mDriver.factoryPresets(presets); status != noErr) return status;

    json = "{\"parameters\":[";
    for (const ParameterDescription& p : parameters) {
        if (&p != &parameters.front()) json += ',';
        json += "{\"id\":" + std::to_string(p.id) + ",\"name\":";
        appendJsonString(json, p.name);
        json += ",\"min\":";
        appendJsonNumber(json, p.info.minValue);
        json += ",\"max\":";
        appendJsonNumber(json, p.info.maxValue);
        json += ",\"default\":";
        appendJsonNumber(json, p.info.defaultValue);
        json += ",\"unit\":" + std::to_string(p.info.unit) + ",\"flags\":" + std::to_string(p.info.flags) +
                ",\"valueNames\":[";
        for (size_t i = 0; i < p.valueNames.size(); ++i) {
            if (i) json += ',';
            appendJsonString(json, p.valueNames[i]);
        }
        json += "]}";
    }
    json += "],\"presets\":[";
    for (size_t i = 0; i < presets.size(); ++i) {
        if (i) json += ',';
        json += "{\"number\":" + std::to_string(presets[i].first) + ",\"name\":";
        appendJsonString(json, presets[i].second);
        json += '}';
    }
    json += "],\"groups\":[";
    for (const ParameterGroup& g : parameterGroups()) {
        if (&g != &parameterGroups().front()) json += ',';
        json += "{\"symbol\":";
        appendJsonString(json, g.symbol);
        json += ",\"label\":";
        appendJsonString(json, g.label);
        json += ",\"ids\":[";
        for (size_t i = 0; i < g.ids.size(); ++i) json += (i ? "," : "") + std::to_string(g.ids[i]);
        json += "]}";
    }
    json += "]}";
    return noErr;
}

OSStatus WebInstrument::presetName(std::string& name) {
    AUPreset preset{};
    UInt32 size = sizeof preset;
    const OSStatus status = AudioUnitGetProperty(mDriver.unit(), kAudioUnitProperty_CurrentPreset,
                                                 kAudioUnitScope_Global, 0, &preset, &size);
    if (status != noErr) return status;
    name = preset.presetName ? CFStringGetUTF8(preset.presetName) : "";
    return noErr;
}

OSStatus WebInstrument::saveState(std::vector<std::uint8_t>& encoded) {
    CFPropertyListRef state = nullptr;
    if (const OSStatus status = mDriver.saveState(state); status != noErr) return status;
    encoded = encodeState(state);
    CFRelease(state);
    return noErr;
}

OSStatus WebInstrument::restoreState(std::span<const std::uint8_t> encoded) {
    CFPropertyListRef state = decodeState(encoded);
    if (!state) return kAudioUnitErr_InvalidPropertyValue;
    CFPropertyListRef previous = nullptr;
    OSStatus status = mDriver.saveState(previous);
    if (status == noErr) {
        status = mDriver.restoreState(state);
        // The frame may have applied part of a state it then refused: back to where it was.
        if (status != noErr) mDriver.restoreState(previous);
        CFRelease(previous);
    }
    CFRelease(state);
    return status;
}
