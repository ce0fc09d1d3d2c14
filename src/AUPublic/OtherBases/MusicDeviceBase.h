// MusicDeviceBase: the instrument frame: an AUBase with MIDI input and the
// music-device note calls.
#pragma once
#include "AUPublic/OtherBases/AUMIDIBase.h"

class MusicDeviceBase : public AUBase, public AUMIDIBase {
public:
    MusicDeviceBase(ComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups = 0)
        : AUBase(instance, numInputs, numOutputs, numGroups), AUMIDIBase(static_cast<AUBase&>(*this)) {}

    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* outData) override;

    virtual OSStatus PrepareInstrument(MusicDeviceInstrumentID instrument) = 0;
    virtual OSStatus ReleaseInstrument(MusicDeviceInstrumentID instrument) = 0;
    virtual OSStatus StartNote(MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                               NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                               const MusicDeviceNoteParams& params) = 0;
    virtual OSStatus StopNote(MusicDeviceGroupID group, NoteInstanceID noteInstanceID, UInt32 offsetSampleFrame) = 0;

    static OSStatus ComponentEntryDispatch(ComponentParameters* params, MusicDeviceBase* This);
};
