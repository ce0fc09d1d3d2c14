// Fuzz target: arbitrary sequences of MIDI events, note calls, parameter
// writes, scheduled parameters, resets and renders. Values include NaN,
// infinities, huge, tiny and negative numbers; IDs, scopes and elements go
// beyond what exists. Nothing may fault, and every render that succeeds must
// give finite samples (set VELMORA_FUZZ_FINITE=0 to check for faults only).
// VELMORA_FUZZ_TRACE=1 prints every call, to turn a finding into a test.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>

#include "FuzzInstrument.h"

namespace {

bool checkFinite() {
    static const bool check = [] {
        const char* v = std::getenv("VELMORA_FUZZ_FINITE");
        return !(v && v[0] == '0');
    }();
    return check;
}

bool tracing() {
    static const bool on = [] {
        const char* v = std::getenv("VELMORA_FUZZ_TRACE");
        return v && v[0] == '1';
    }();
    return on;
}

template <class... Args>
void trace(const char* format, Args... args) {
    if (tracing()) std::fprintf(stderr, format, args...);
}

float pickValue(FuzzedDataProvider& in) {
    static constexpr float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::denorm_min(),
                                         1e30f,
                                         -1e30f,
                                         1e9f,
                                         -1e9f,
                                         1e4f,
                                         -1e4f,
                                         150,
                                         -150,
                                         -50,
                                         -1,
                                         -0.5f,
                                         0,
                                         -0.0f,
                                         0.5f,
                                         1,
                                         2,
                                         8,
                                         17,
                                         22,
                                         23,
                                         24,
                                         100,
                                         101,
                                         127,
                                         128,
                                         139,
                                         1000};
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: return in.PickValueInArray(kSpecial);
        case 1: return in.ConsumeFloatingPointInRange(-200.0f, 200.0f);
        default: {
            const UInt32 bits = in.ConsumeIntegral<UInt32>();
            float v;
            std::memcpy(&v, &bits, 4);
            return v;
        }
    }
}

// The 102 global values, for the report of a non-finite output.
void printSettings(AudioUnit unit) {
    std::fprintf(stderr, "parameters:");
    for (AudioUnitParameterID id = 0; id < 102; ++id) {
        Float32 v = 0;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        std::fprintf(stderr, " %u=%.9g", unsigned(id), double(v));
    }
    std::fprintf(stderr, "\n");
}

AudioUnitParameterID pickId(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 105) : in.ConsumeIntegral<UInt32>();
}
AudioUnitScope pickScope(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange(0, 7) < 6 ? kAudioUnitScope_Global
           : in.ConsumeBool()                  ? in.ConsumeIntegralInRange<UInt32>(0, 4)
                                               : in.ConsumeIntegral<UInt32>();
}
AudioUnitElement pickElement(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange(0, 7) < 6 ? 0
           : in.ConsumeBool()                  ? in.ConsumeIntegralInRange<UInt32>(0, 3)
                                               : in.ConsumeIntegral<UInt32>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::Instrument inst;
    const AudioUnit unit = inst.unit;
    int renders = 0;
    while (in.remaining_bytes() > 0 && renders < 200) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0:
            case 1: {  // a MIDI message, any status, data bytes of any value
                const UInt32 status = in.ConsumeIntegral<UInt8>();
                const UInt32 d1 = in.ConsumeIntegral<UInt8>(), d2 = in.ConsumeIntegral<UInt8>();
                const UInt32 offset =
                    in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 1200) : in.ConsumeIntegral<UInt32>();
                const OSStatus r = MusicDeviceMIDIEvent(unit, status, d1, d2, offset);
                trace("midi %02X %u %u at %u -> %d\n", unsigned(status), unsigned(d1), unsigned(d2), unsigned(offset),
                      int(r));
                break;
            }
            case 2:
            case 3: {  // a parameter write
                const AudioUnitParameterID id = pickId(in);
                const AudioUnitScope scope = pickScope(in);
                const AudioUnitElement element = pickElement(in);
                const float value = pickValue(in);
                const OSStatus r = AudioUnitSetParameter(unit, id, scope, element, value, in.ConsumeIntegral<UInt32>());
                trace("set %u scope %u element %u = %.9g -> %d\n", unsigned(id), unsigned(scope), unsigned(element),
                      double(value), int(r));
                break;
            }
            case 4: {  // a parameter read
                Float32 v = 0;
                AudioUnitGetParameter(unit, pickId(in), pickScope(in), pickElement(in), &v);
                break;
            }
            case 5: {  // the note calls with any pitch and velocity
                const MusicDeviceNoteParams params{2, pickValue(in), pickValue(in)};
                NoteInstanceID note = 0;
                const OSStatus r =
                    MusicDeviceStartNote(unit, in.ConsumeIntegral<UInt32>(), in.ConsumeIntegral<UInt32>(), &note,
                                         in.ConsumeIntegral<UInt32>(), &params);
                trace("start note pitch %.9g velocity %.9g -> %d (note %u)\n", double(params.mPitch),
                      double(params.mVelocity), int(r), unsigned(note));
                if (in.ConsumeBool())
                    MusicDeviceStopNote(unit, in.ConsumeIntegral<UInt32>(),
                                        in.ConsumeBool() ? note : in.ConsumeIntegral<UInt32>(),
                                        in.ConsumeIntegral<UInt32>());
                break;
            }
            case 6: {  // scheduled parameters, immediate and ramped
                AudioUnitParameterEvent events[4]{};
                const UInt32 n = in.ConsumeIntegralInRange<UInt32>(0, 4);
                for (UInt32 i = 0; i < n; ++i) {
                    AudioUnitParameterEvent& e = events[i];
                    e.scope = pickScope(in);
                    e.element = pickElement(in);
                    e.parameter = pickId(in);
                    e.eventType = in.ConsumeIntegralInRange<UInt32>(0, 3);
                    e.eventValues.ramp = {in.ConsumeIntegral<SInt32>(), in.ConsumeIntegral<UInt32>(), pickValue(in),
                                          pickValue(in)};
                }
                const OSStatus r = AudioUnitScheduleParameters(unit, events, n);
                for (UInt32 i = 0; i < n; ++i)
                    trace("schedule type %u: %u scope %u element %u = %.9g .. %.9g\n", unsigned(events[i].eventType),
                          unsigned(events[i].parameter), unsigned(events[i].scope), unsigned(events[i].element),
                          double(events[i].eventValues.ramp.startValue), double(events[i].eventValues.ramp.endValue));
                trace("schedule -> %d\n", int(r));
                break;
            }
            case 7: {  // system exclusive bytes
                const std::vector<UInt8> bytes = in.ConsumeBytes<UInt8>(in.ConsumeIntegralInRange(0, 16));
                MusicDeviceSysEx(unit, bytes.data(), UInt32(bytes.size()));
                break;
            }
            case 8:
                if (in.ConsumeIntegralInRange(0, 7) == 0) {
                    const OSStatus r = AudioUnitReset(unit, pickScope(in), pickElement(in));
                    trace("reset -> %d\n", int(r));
                }
                [[fallthrough]];
            default: {  // render: mostly in 64-frame calls, sometimes any length
                const UInt32 frames = in.ConsumeIntegralInRange(0, 3) ? 64 : in.ConsumeIntegralInRange<UInt32>(0, 1300);
                const OSStatus status = inst.render(frames, in.ConsumeIntegralInRange(0, 7) != 0);
                ++renders;
                trace("render %u -> %d%s\n", unsigned(frames), int(status),
                      status == noErr && !inst.lastRenderFinite() ? " NON-FINITE" : "");
                if (status == noErr && checkFinite() && !inst.lastRenderFinite()) {
                    printSettings(unit);
                    fuzz::fail("non-finite output (VELMORA_FUZZ_FINITE=0 checks for faults only)");
                }
                break;
            }
        }
    }
    // Whatever the input left behind, the voice still renders.
    for (int i = 0; i < 4; ++i)
        if (inst.render(64) != noErr) fuzz::fail("render at the end");
    if (checkFinite() && !inst.lastRenderFinite()) {
        printSettings(unit);
        fuzz::fail("non-finite output at the end");
    }
    return 0;
}
