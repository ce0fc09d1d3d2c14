// The parameter-listener service. Any thread may set and notify; delivery
// happens on each listener's run loop, coalesced per (object, parameter).
#include "PlatformUI/AUListener.h"

#include <algorithm>
#include <cstring>

#include "Platform/AudioUnitCalls.h"
#include "PlatformUI/PlatformUIPrivate.h"
#include "PlatformUI/RunLoop.h"

namespace {

bool sameAddress(const AudioUnitParameter& a, const AudioUnitParameter& b) {
    return a.mAudioUnit == b.mAudioUnit && a.mParameterID == b.mParameterID && a.mScope == b.mScope &&
           a.mElement == b.mElement;
}

struct Registration {
    void* object;
    AudioUnitParameter parameter;
    bool operator==(const Registration& o) const { return object == o.object && sameAddress(parameter, o.parameter); }
};

}  // namespace

struct AUListenerBase {
    AUParameterListenerProc proc;
    void* refCon;
    CFRunLoopRef loop;
    Clock::duration interval;
    // Guarded by the service's lock:
    std::vector<Registration> registrations;
    std::vector<Registration> pending;
    bool flushScheduled = false;
    bool disposed = false;
    Clock::time_point lastFlush{};
};

namespace {

std::mutex serviceLock;
std::vector<std::shared_ptr<AUListenerBase>>& listeners() {
    static std::vector<std::shared_ptr<AUListenerBase>> all;
    return all;
}

std::shared_ptr<AUListenerBase> find(AUParameterListenerRef ref) {
    for (auto& l : listeners())
        if (l.get() == ref) return l;
    return nullptr;
}

// Delivers what is pending, reading each parameter's value now: the latest wins.
void flush(const std::shared_ptr<AUListenerBase>& listener) {
    std::vector<Registration> due;
    {
        std::lock_guard guard(serviceLock);
        listener->flushScheduled = false;
        if (listener->disposed) return;
        due.swap(listener->pending);
        listener->lastFlush = Clock::now();
    }
    for (const Registration& r : due) {
        {
            // A callback may have removed a later registration meanwhile.
            std::lock_guard guard(serviceLock);
            const auto& regs = listener->registrations;
            if (listener->disposed || std::find(regs.begin(), regs.end(), r) == regs.end()) continue;
        }
        Float32 value = 0;
        const AudioUnitParameter& p = r.parameter;
        if (AudioUnitGetParameter(p.mAudioUnit, p.mParameterID, p.mScope, p.mElement, &value) != noErr) continue;
        listener->proc(listener->refCon, r.object, &p, value);
    }
}

bool parameterRange(const AudioUnitParameter* p, Float32* minimum, Float32* maximum) {
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    if (!p || AudioUnitGetProperty(p->mAudioUnit, kAudioUnitProperty_ParameterInfo, p->mScope, p->mParameterID, &info,
                                   &size) != noErr)
        return false;
    *minimum = info.minValue;
    *maximum = info.maxValue;
    return true;
}

}  // namespace

OSStatus AUListenerCreate(AUParameterListenerProc proc, void* refCon, CFRunLoopRef runLoop, CFStringRef,
                          Float32 notificationInterval, AUParameterListenerRef* outListener) {
    if (!proc || !outListener) return paramErr;
    auto listener = std::make_shared<AUListenerBase>();
    listener->proc = proc;
    listener->refCon = refCon;
    listener->loop = runLoop ? runLoop : CFRunLoopGetCurrent();
    listener->interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(0.0f, notificationInterval)));
    std::lock_guard guard(serviceLock);
    listeners().push_back(listener);
    *outListener = listener.get();
    return noErr;
}

OSStatus AUListenerDispose(AUParameterListenerRef ref) {
    std::lock_guard guard(serviceLock);
    auto listener = find(ref);
    if (!listener) return paramErr;
    listener->disposed = true;  // a scheduled flush still holds it, and finds it disposed
    std::erase(listeners(), listener);
    return noErr;
}

namespace {

// `object`'s registration for `parameter` on the listener, changed under the service's lock.
template <class Change>
OSStatus changeRegistration(AUParameterListenerRef ref, void* object, const AudioUnitParameter* parameter,
                            Change change) {
    if (!parameter) return paramErr;
    std::lock_guard guard(serviceLock);
    auto listener = find(ref);
    if (!listener) return paramErr;
    change(*listener, Registration{object, *parameter});
    return noErr;
}

}  // namespace

OSStatus AUListenerAddParameter(AUParameterListenerRef ref, void* object, const AudioUnitParameter* parameter) {
    return changeRegistration(ref, object, parameter, [](auto& listener, const Registration& r) {
        if (std::find(listener.registrations.begin(), listener.registrations.end(), r) == listener.registrations.end())
            listener.registrations.push_back(r);
    });
}

OSStatus AUListenerRemoveParameter(AUParameterListenerRef ref, void* object, const AudioUnitParameter* parameter) {
    return changeRegistration(ref, object, parameter, [](auto& listener, const Registration& r) {
        std::erase(listener.registrations, r);
        std::erase(listener.pending, r);
    });
}

OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void* sendingObject, const AudioUnitParameter* p,
                        AudioUnitParameterValue value, UInt32 bufferOffset) {
    if (!p) return paramErr;
    const OSStatus result =
        AudioUnitSetParameter(p->mAudioUnit, p->mParameterID, p->mScope, p->mElement, value, bufferOffset);
    if (result != noErr) return result;
    return AUParameterListenerNotify(sendingListener, sendingObject, p);
}

OSStatus AUParameterListenerNotify(AUParameterListenerRef sendingListener, void* sendingObject,
                                   const AudioUnitParameter* parameter) {
    if (!parameter) return paramErr;
    std::vector<std::shared_ptr<AUListenerBase>> now;
    {
        std::lock_guard guard(serviceLock);
        for (auto& l : listeners()) {
            bool added = false;
            for (const Registration& r : l->registrations) {
                if (!sameAddress(r.parameter, *parameter)) continue;
                if (l.get() == sendingListener && r.object == sendingObject) continue;
                if (std::find(l->pending.begin(), l->pending.end(), r) == l->pending.end()) l->pending.push_back(r);
                added = true;
            }
            if (!added || l->flushScheduled) continue;
            if (l->interval == Clock::duration::zero() && platform_ui::isLoopThread(l->loop)) {
                now.push_back(l);
                continue;
            }
            l->flushScheduled = true;
            const Clock::time_point when = std::max(Clock::now(), l->lastFlush + l->interval);
            platform_ui::performAt(l->loop, when, [l] { flush(l); });
        }
    }
    for (auto& l : now) flush(l);
    return noErr;
}

AudioUnitParameterValue AUParameterValueToLinear(AudioUnitParameterValue value, const AudioUnitParameter* p) {
    Float32 minimum, maximum;
    if (!parameterRange(p, &minimum, &maximum) || maximum <= minimum) return 0;
    return std::clamp((value - minimum) / (maximum - minimum), 0.0f, 1.0f);
}

AudioUnitParameterValue AUParameterValueFromLinear(Float32 linearValue, const AudioUnitParameter* p) {
    Float32 minimum, maximum;
    if (!parameterRange(p, &minimum, &maximum)) return 0;
    return minimum + std::clamp(linearValue, 0.0f, 1.0f) * (maximum - minimum);
}
