// The LV2 instrument: the instrument opened through the host-side calls and
// played in steps of at most 64 frames whatever the host's block, so that it
// hears its notes and controls exactly as `velmora render` delivers a song.
//
// Nothing here throws into the host: every call into the instrument returns a
// status, and the few that may allocate (instantiate, state) catch everything.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/BitCast.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"
#include "Velmora/VelmoraAU.h"
#include "Velmora/VelmoraParameters.h"
#include "plugins/lv2/VelmoraPorts.h"
#include "plugins/lv2/VelmoraUris.h"

namespace {

constexpr UInt32 kStepFrames = 64;  // the instrument's slice
constexpr UInt32 kChannels = 2;
constexpr UInt32 kNameBytes = VelmoraAU::kPresetNameBytes;  // zero-terminated

struct Urids {
    LV2_URID midiEvent, sequence, string, presetName;
};

struct Plugin {
    AudioUnit unit = nullptr;
    Urids urids{};
    const float* controls[kNumberOfParameters] = {};
    UInt32 written[kNumberOfParameters] = {};  // bit patterns last written to the instrument
    bool pending[kNumberOfParameters] = {};    // to be written whatever the port holds
    std::atomic<bool> writeAll{true};          // set by instantiate and restore, taken by run
    const LV2_Atom_Sequence* events = nullptr;
    float* outputs[kChannels] = {};
    Float64 sampleTime = 0;
    RenderCall call;
};

// ---- MIDI

// Bytes of a complete channel message with this status byte; 0 for what the
// instrument never gets (system-exclusive, system and real-time messages, and a
// data byte where a status byte belongs).
UInt32 messageLength(UInt8 status) {
    switch (status & 0xF0) {
        case 0x80:
        case 0x90:
        case 0xA0:
        case 0xB0:
        case 0xE0: return 3;
        case 0xC0:
        case 0xD0: return 2;
        default: return 0;
    }
}

// Walks an atom sequence with every size checked against the sequence's own,
// copying headers out so that a misaligned buffer is read safely.
class EventCursor {
public:
    EventCursor(const LV2_Atom_Sequence* seq, const Urids& urids) {
        if (!seq) return;
        LV2_Atom atom;
        std::memcpy(&atom, seq, sizeof atom);
        if (atom.type != urids.sequence || atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
        // The body's unit is never read: run's events are timed in frames, and
        // hosts leave the field as they please.
        mBase = reinterpret_cast<const UInt8*>(&seq->body) + sizeof(LV2_Atom_Sequence_Body);
        mSize = atom.size - UInt32(sizeof(LV2_Atom_Sequence_Body));
        load();
    }
    bool valid() const { return mValid; }
    // The event's time in the run, in frames, as the host wrote it.
    int64_t frame() const { return mEvent.time.frames; }
    LV2_URID type() const { return mEvent.body.type; }
    UInt32 size() const { return mEvent.body.size; }
    const UInt8* bytes() const { return mBase + mPos + sizeof(LV2_Atom_Event); }
    void next() {
        mPos += lv2_atom_pad_size(UInt32(sizeof(LV2_Atom_Event)) + mEvent.body.size);
        load();
    }

private:
    void load() {
        mValid = false;
        if (UInt64(mPos) + sizeof(LV2_Atom_Event) > mSize) return;
        std::memcpy(&mEvent, mBase + mPos, sizeof mEvent);
        mValid = UInt64(mPos) + sizeof(LV2_Atom_Event) + mEvent.body.size <= mSize;
    }

    const UInt8* mBase = nullptr;
    UInt64 mSize = 0, mPos = 0;
    bool mValid = false;
    LV2_Atom_Event mEvent{};
};

void deliver(Plugin& p, const EventCursor& e, UInt32 offset) {
    if (e.type() != p.urids.midiEvent || e.size() == 0) return;
    const UInt8* bytes = e.bytes();
    const UInt32 length = messageLength(bytes[0]);
    if (length == 0 || e.size() < length) return;
    for (UInt32 i = 1; i < length; ++i)
        if (bytes[i] & 0x80) return;
    MusicDeviceMIDIEvent(p.unit, bytes[0], bytes[1], length > 2 ? bytes[2] : 0, offset);
}

// ---- run

// A control whose bits changed since it was last written goes to the instrument
// once; the instrument itself keeps its old value for a NaN or an infinity.
void writeControls(Plugin& p) {
    if (p.writeAll.exchange(false, std::memory_order_acquire))
        std::fill(std::begin(p.pending), std::end(p.pending), true);
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) {
        if (!p.controls[id]) continue;
        const float value = *p.controls[id];
        const UInt32 bits = BitCast<UInt32>(value);
        if (!p.pending[id] && bits == p.written[id]) continue;
        p.pending[id] = false;
        p.written[id] = bits;
        AudioUnitSetParameter(p.unit, id, kAudioUnitScope_Global, 0, value, 0);
    }
}

void render(Plugin& p, UInt32 start, UInt32 frames) {
    // An output the host has not connected renders into the instrument's own memory.
    float* channels[kChannels];
    for (UInt32 c = 0; c < kChannels; ++c) channels[c] = p.outputs[c] ? p.outputs[c] + start : nullptr;
    if (p.call.render(p.unit, p.sampleTime, frames, channels) != noErr)
        for (float* out : p.outputs)
            if (out) std::fill(out + start, out + start + frames, 0.0f);
    p.sampleTime += frames;
}

void run(LV2_Handle handle, uint32_t frames) {
    Plugin& p = *static_cast<Plugin*>(handle);
    writeControls(p);
    EventCursor e(p.events, p.urids);
    if (frames == 0) {
        // Nothing to render: the events still count, for the next run's first step.
        for (; e.valid(); e.next()) deliver(p, e, 0);
        return;
    }
    // Events are taken in list order, none earlier than the one before it; a
    // time past the block (a host's fault) is its last frame, a negative one 0.
    int64_t earliest = 0;
    for (UInt32 start = 0; start < frames; start += kStepFrames) {
        const UInt32 n = std::min(kStepFrames, frames - start);
        for (; e.valid(); e.next()) {
            const int64_t frame = std::clamp<int64_t>(e.frame(), earliest, int64_t(frames) - 1);
            if (frame >= int64_t(start + n)) break;
            earliest = frame;
            deliver(p, e, UInt32(frame - int64_t(start)));
        }
        render(p, start, n);
    }
}

// ---- the settings record's name, through the instrument's own property

bool readName(AudioUnit unit, char (&name)[kNameBytes]) {
    UInt32 size = kNameBytes;
    return AudioUnitGetProperty(unit, VelmoraAU::kPresetNameProperty, kAudioUnitScope_Global, 0, name, &size) == noErr;
}

bool writeName(AudioUnit unit, const char (&name)[kNameBytes]) {
    return AudioUnitSetProperty(unit, VelmoraAU::kPresetNameProperty, kAudioUnitScope_Global, 0, name, kNameBytes) ==
           noErr;
}

// Latin-1 to UTF-8; out holds twice the name field.
void latin1ToUtf8(const char* in, char* out) {
    for (; *in; ++in) {
        const auto c = UInt8(*in);
        if (c < 0x80) {
            *out++ = char(c);
        } else {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        }
    }
    *out = 0;
}

// UTF-8 (up to the first zero or `size` bytes) to Latin-1; false when a
// character has no Latin-1 code, the text is not UTF-8 or it does not fit.
bool utf8ToLatin1(const char* in, size_t size, char (&out)[kNameBytes]) {
    size_t n = 0;
    for (size_t i = 0; i < size && in[i]; ++i) {
        auto c = UInt8(in[i]);
        if (c >= 0x80) {
            if ((c != 0xC2 && c != 0xC3) || i + 1 >= size || (UInt8(in[i + 1]) & 0xC0) != 0x80) return false;
            c = UInt8(((c & 0x03) << 6) | (UInt8(in[++i]) & 0x3F));
        }
        if (n + 1 >= kNameBytes) return false;
        out[n++] = char(c);
    }
    std::memset(out + n, 0, kNameBytes - n);
    return true;
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
    Plugin& p = *static_cast<Plugin*>(handle);
    try {
        char name[kNameBytes];
        if (!readName(p.unit, name)) return LV2_STATE_ERR_UNKNOWN;
        char text[2 * kNameBytes];
        latin1ToUtf8(name, text);
        return store(state, p.urids.presetName, text, std::strlen(text) + 1, p.urids.string,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

// The ports carry every value, so the next run writes all of them; the name
// comes from the state. A state without a name keeps the current one.
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Plugin& p = *static_cast<Plugin*>(handle);
    p.writeAll.store(true, std::memory_order_release);
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(state, p.urids.presetName, &size, &type, &flags);
    if (!value) return LV2_STATE_SUCCESS;
    if (type != p.urids.string) return LV2_STATE_ERR_BAD_TYPE;
    char name[kNameBytes];
    if (!utf8ToLatin1(static_cast<const char*>(value), size, name)) return LV2_STATE_ERR_UNKNOWN;
    try {
        return writeName(p.unit, name) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

// ---- lifecycle

void cleanup(LV2_Handle handle) {
    auto* p = static_cast<Plugin*>(handle);
    if (p->unit) {
        AudioUnitUninitialize(p->unit);
        CloseComponent(p->unit);
    }
    delete p;
}

bool openInstrument(Plugin& p, double sampleRate) {
    Component component = RegisterVelmora();
    if (!component || OpenAComponent(component, &p.unit) != noErr) {
        p.unit = nullptr;
        return false;
    }
    const AudioStreamBasicDescription format = CanonicalOutputFormat(sampleRate, kChannels);
    return AudioUnitSetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                sizeof format) == noErr &&
           AudioUnitInitialize(p.unit) == noErr;
}

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (features[i]->URI && !std::strcmp(features[i]->URI, LV2_URID__map))
            map = static_cast<LV2_URID_Map*>(features[i]->data);
    if (!map || !map->map || !(sampleRate >= 1.0 && sampleRate <= 1.0e7)) return nullptr;

    auto* p = new (std::nothrow) Plugin;
    if (!p) return nullptr;
    p->urids = {map->map(map->handle, LV2_MIDI__MidiEvent), map->map(map->handle, LV2_ATOM__Sequence),
                map->map(map->handle, LV2_ATOM__String), map->map(map->handle, kPresetNameURI)};
    // The instrument's diagnostic lines have no place in a host's output.
    SetPlatformLogHook(PlatformLogSilent);
    bool opened = false;
    try {
        opened = openInstrument(*p, sampleRate);
    } catch (...) {}
    if (!opened) {
        cleanup(p);
        return nullptr;
    }
    return p;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    Plugin& p = *static_cast<Plugin*>(handle);
    if (port == kMidiInPort)
        p.events = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port >= kFirstAudioOutPort && port < kFirstAudioOutPort + kChannels)
        p.outputs[port - kFirstAudioOutPort] = static_cast<float*>(data);
    else if (port >= kFirstParameterPort && port < kFirstParameterPort + kNumberOfParameters)
        p.controls[port - kFirstParameterPort] = static_cast<const float*>(data);
}

void activate(LV2_Handle handle) {
    Plugin& p = *static_cast<Plugin*>(handle);
    AudioUnitReset(p.unit, kAudioUnitScope_Global, 0);
    p.sampleTime = 0;
}

void deactivate(LV2_Handle) {}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface stateInterface{save, restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &stateInterface : nullptr;
}

const LV2_Descriptor kDescriptor{kPluginURI, instantiate, connectPort, activate,
                                 run,        deactivate,  cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) { return index == 0 ? &kDescriptor : nullptr; }
