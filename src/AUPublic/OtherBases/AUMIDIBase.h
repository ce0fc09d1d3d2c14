// AUMIDIBase: decodes MIDI channel messages into one handler call per kind.
#pragma once
#include "AUPublic/AUBase/AUBase.h"

class AUMIDIBase {
public:
    explicit AUMIDIBase(AUBase& base) : mAUBaseInstance(base) {}
    virtual ~AUMIDIBase() = default;
    AUMIDIBase(const AUMIDIBase&) = delete;
    AUMIDIBase& operator=(const AUMIDIBase&) = delete;

    virtual OSStatus DelegateGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                             UInt32& outDataSize, Boolean& outWritable);
    virtual OSStatus DelegateGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         void* outData);
    virtual OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, SInt32 startFrame);
    virtual OSStatus GetXMLNames(void* outURL);
    virtual void HandleNoteOn(int, UInt8, UInt8, SInt32) {}
    virtual void HandleNoteOff(int, UInt8, UInt8, SInt32) {}
    virtual void HandleControlChange(int, UInt8, UInt8, SInt32) {}
    virtual void HandlePitchWheel(int, UInt8, UInt8, SInt32) {}
    virtual void HandleChannelPressure(int, UInt8, SInt32) {}
    virtual void HandleProgramChange(int, UInt8) {}
    virtual void HandlePolyPressure(int, UInt8, UInt8, SInt32) {}
    virtual void HandleResetAllControllers(int) {}
    virtual void HandleAllNotesOff(int) {}
    virtual void HandleAllSoundOff(int) {}
    virtual void HandleSysEx(const UInt8*, UInt32) {}

    OSStatus SysEx(const UInt8* data, UInt32 length);

    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUMIDIBase* This);

protected:
    AUBase& mAUBaseInstance;
};
