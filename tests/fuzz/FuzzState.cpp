// Fuzz target: arbitrary bytes as a preset file. The bytes are read as a
// property list the way the host reads a state file, and what comes out is
// handed to the instrument through the class-info property. A refused state
// must leave the instrument's state as it was; an accepted one must survive
// a save and restore unchanged. Rendering afterwards must not fault.
// The bytes are parsed on a thread with a 256 KB stack, as a plug-in host's
// may be, so that anything recursing with the input's nesting crashes here.
#include <cstdint>
#include <string>

#include "../support/HostilePresets.h"
#include "FuzzInstrument.h"
#include "StateFile.h"

namespace {

CFPropertyListRef save(AudioUnit unit) {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size) != noErr ||
        !state)
        fuzz::fail("saving the state");
    return state;
}

OSStatus restore(AudioUnit unit, CFPropertyListRef state) {
    return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
}

// What a save holds, as XML text: equal text, equal state.
std::string snapshot(AudioUnit unit) {
    CFPropertyListRef state = save(unit);
    std::string xml = stateToXml(state);
    CFRelease(state);
    return xml;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CFPropertyListRef state = nullptr;
    hostile::onSmallStack([&] { state = stateFromBytes(bytes); });
    if (!state) return 0;  // not a property-list dictionary: the host refuses the file itself

    fuzz::Instrument inst;
    // A state of our own first, so that a refusal has something to keep.
    AudioUnitSetParameter(inst.unit, 4, kAudioUnitScope_Global, 0, 33.0f, 0);
    AudioUnitSetParameter(inst.unit, 7, kAudioUnitScope_Output, 0, 0.5f, 0);
    MusicDeviceMIDIEvent(inst.unit, 0x90, 60, 100, 0);
    inst.render(256);
    const std::string before = snapshot(inst.unit);

    const OSStatus status = restore(inst.unit, state);
    CFRelease(state);
    const std::string after = snapshot(inst.unit);
    if (status != noErr) {
        if (after != before) fuzz::fail("a refused state changed the instrument");
    } else {
        // What was accepted, saved again, restores to the same state.
        CFPropertyListRef again = save(inst.unit);
        if (restore(inst.unit, again) != noErr) fuzz::fail("a saved state was refused");
        CFRelease(again);
        if (snapshot(inst.unit) != after) fuzz::fail("a save and restore changed the state");
    }
    for (int i = 0; i < 8; ++i)
        if (inst.render(64) != noErr) fuzz::fail("render after a restore");
    return 0;
}
