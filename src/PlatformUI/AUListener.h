// The parameter-listener service: objects registered for parameters hear of
// their changes on the run loop that created their listener, at most once per
// parameter per notification interval with the latest value, and never when
// they made the change themselves.
#pragma once
#include "Platform/AudioUnitTypes.h"
#include "PlatformUI/CarbonTypes.h"

struct AUListenerBase;
using AUParameterListenerRef = AUListenerBase*;
using AUParameterListenerProc = void (*)(void* refCon, void* object, const AudioUnitParameter* parameter,
                                         AudioUnitParameterValue value);

OSStatus AUListenerCreate(AUParameterListenerProc proc, void* refCon, CFRunLoopRef runLoop, CFStringRef runLoopMode,
                          Float32 notificationInterval, AUParameterListenerRef* outListener);
// Pending notifications of a disposed listener are dropped.
OSStatus AUListenerDispose(AUParameterListenerRef listener);
OSStatus AUListenerAddParameter(AUParameterListenerRef listener, void* object, const AudioUnitParameter* parameter);
OSStatus AUListenerRemoveParameter(AUParameterListenerRef listener, void* object, const AudioUnitParameter* parameter);

// Sets the parameter on its unit and notifies every listener but the sender
// (listener and object); a null sender is nobody. Safe from any thread.
OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void* sendingObject,
                        const AudioUnitParameter* parameter, AudioUnitParameterValue value, UInt32 bufferOffset);
OSStatus AUParameterListenerNotify(AUParameterListenerRef sendingListener, void* sendingObject,
                                   const AudioUnitParameter* parameter);

// Between a value and 0...1 over the parameter's range (linear for every unit
// this instrument uses), pinned to the range.
AudioUnitParameterValue AUParameterValueToLinear(AudioUnitParameterValue value, const AudioUnitParameter* parameter);
AudioUnitParameterValue AUParameterValueFromLinear(Float32 linearValue, const AudioUnitParameter* parameter);
