// MusicDeviceBase: routing of the music-device selectors.
#include "AUPublic/OtherBases/MusicDeviceBase.h"

OSStatus MusicDeviceBase::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                          UInt32& outDataSize, Boolean& outWritable) {
    OSStatus result = AUBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    if (result == kAudioUnitErr_InvalidProperty)
        result = DelegateGetPropertyInfo(id, scope, element, outDataSize, outWritable);
    return result;
}

OSStatus MusicDeviceBase::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                      void* outData) {
    OSStatus result = AUBase::GetProperty(id, scope, element, outData);
    if (result == kAudioUnitErr_InvalidProperty) result = DelegateGetProperty(id, scope, element, outData);
    return result;
}

OSStatus MusicDeviceBase::ComponentEntryDispatch(ComponentParameters* params, MusicDeviceBase* This) {
    if (!This) return paramErr;
    const ComponentParameters* p = params;
    switch (params->what) {
        case kMusicDeviceMIDIEventSelect:
        case kMusicDeviceSysExSelect: return AUMIDIBase::ComponentEntryDispatch(params, This);
        case kMusicDevicePrepareInstrumentSelect: return This->PrepareInstrument(ComponentParamU32(p, 0));
        case kMusicDeviceReleaseInstrumentSelect: return This->ReleaseInstrument(ComponentParamU32(p, 0));
        case kMusicDeviceStartNoteSelect: {
            auto noteParams = ComponentParamPtr<const MusicDeviceNoteParams*>(p, 0);
            if (!noteParams) return paramErr;
            return This->StartNote(ComponentParamU32(p, 4), ComponentParamU32(p, 3),
                                   ComponentParamPtr<NoteInstanceID*>(p, 2), ComponentParamU32(p, 1), *noteParams);
        }
        case kMusicDeviceStopNoteSelect:
            return This->StopNote(ComponentParamU32(p, 2), ComponentParamU32(p, 1), ComponentParamU32(p, 0));
        default: return AUBase::ComponentEntryDispatch(params, This);
    }
}
