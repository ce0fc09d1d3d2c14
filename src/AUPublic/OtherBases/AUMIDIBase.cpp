// AUMIDIBase: MIDI message decoding.
#include "AUPublic/OtherBases/AUMIDIBase.h"

OSStatus AUMIDIBase::DelegateGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement,
                                             UInt32& outDataSize, Boolean& outWritable) {
    if (id != kMusicDeviceProperty_MIDIXMLNames) return kAudioUnitErr_InvalidProperty;
    outDataSize = sizeof(void*);
    outWritable = false;
    return noErr;
}

OSStatus AUMIDIBase::DelegateGetProperty(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement, void* outData) {
    if (id != kMusicDeviceProperty_MIDIXMLNames) return kAudioUnitErr_InvalidProperty;
    return GetXMLNames(outData);
}

OSStatus AUMIDIBase::GetXMLNames(void*) { return kAudioUnitErr_InvalidProperty; }

OSStatus AUMIDIBase::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, SInt32 startFrame) {
    if (!mAUBaseInstance.IsInitialized()) return kAudioUnitErr_Uninitialized;
    switch (status) {
        case 0x80: HandleNoteOff(channel, data1, data2, startFrame); break;
        case 0x90:
            if (data2 == 0)
                HandleNoteOff(channel, data1, 0, startFrame);
            else
                HandleNoteOn(channel, data1, data2, startFrame);
            break;
        case 0xA0: HandlePolyPressure(channel, data1, data2, startFrame); break;
        case 0xB0:
            if (data1 == 123)
                HandleAllNotesOff(channel);
            else if (data1 == 121)
                HandleResetAllControllers(channel);
            else if (data1 == 120)
                HandleAllSoundOff(channel);
            else
                HandleControlChange(channel, data1, data2, startFrame);
            break;
        case 0xC0: HandleProgramChange(channel, data1); break;
        case 0xD0: HandleChannelPressure(channel, data1, startFrame); break;
        case 0xE0: HandlePitchWheel(channel, data1, data2, startFrame); break;
        default: break;
    }
    return noErr;
}

OSStatus AUMIDIBase::SysEx(const UInt8* data, UInt32 length) {
    if (!mAUBaseInstance.IsInitialized()) return kAudioUnitErr_Uninitialized;
    HandleSysEx(data, length);
    return noErr;
}

OSStatus AUMIDIBase::ComponentEntryDispatch(ComponentParameters* params, AUMIDIBase* This) {
    if (!This) return paramErr;
    switch (params->what) {
        case kMusicDeviceMIDIEventSelect: {
            const UInt32 status = ComponentParamU32(params, 3);
            return This->HandleMidiEvent(UInt8(status & 0xF0), UInt8(status & 0x0F),
                                         UInt8(ComponentParamU32(params, 2)), UInt8(ComponentParamU32(params, 1)),
                                         ComponentParamS32(params, 0));
        }
        case kMusicDeviceSysExSelect:
            return This->SysEx(ComponentParamPtr<const UInt8*>(params, 1), ComponentParamU32(params, 0));
        default: return badComponentSelector;
    }
}
