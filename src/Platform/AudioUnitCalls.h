// Host-side audio-unit and music-device calls: each marshals its arguments
// into a component argument block and calls the unit's entry.
#pragma once
#include "Platform/AudioUnitTypes.h"

OSStatus AudioUnitInitialize(AudioUnit unit);
OSStatus AudioUnitUninitialize(AudioUnit unit);
OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize, Boolean* outWritable);
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* outData, UInt32* ioDataSize);
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize);
OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               Float32* outValue);
OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               Float32 value, UInt32 bufferOffsetInFrames);
OSStatus AudioUnitRenderSlice(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                              const AudioTimeStamp* timeStamp, UInt32 outputBusNumber, AudioBuffer* ioData);
OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element);
OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                      void* refCon);
OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc);
OSStatus AudioUnitSetRenderNotification(AudioUnit unit, void* proc, void* refCon);
OSStatus AudioUnitRemoveRenderNotification(AudioUnit unit, void* proc, void* refCon);
OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                         UInt32 outputBusNumber, UInt32 numberFrames, AudioBufferList* ioData);
OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);
OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);
OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events, UInt32 numEvents);

OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent unit, UInt32 status, UInt32 data1, UInt32 data2,
                              UInt32 offsetSampleFrame);
OSStatus MusicDeviceSysEx(MusicDeviceComponent unit, const UInt8* data, UInt32 length);
OSStatus MusicDevicePrepareInstrument(MusicDeviceComponent unit, MusicDeviceInstrumentID instrument);
OSStatus MusicDeviceReleaseInstrument(MusicDeviceComponent unit, MusicDeviceInstrumentID instrument);
OSStatus MusicDeviceStartNote(MusicDeviceComponent unit, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                              const MusicDeviceNoteParams* params);
OSStatus MusicDeviceStopNote(MusicDeviceComponent unit, MusicDeviceGroupID group, NoteInstanceID noteInstanceID,
                             UInt32 offsetSampleFrame);
