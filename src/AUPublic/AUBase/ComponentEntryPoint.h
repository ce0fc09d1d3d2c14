// ComponentEntryPoint<T>: the component entry of a unit class; opens the
// object and turns every exception leaving the frame into a result code.
#pragma once
#include <new>
#include "AUPublic/AUBase/ComponentBase.h"

// Runs a frame call and maps its exceptions: out of memory -108, a thrown
// status as itself, a thrown 16-bit platform error widened, anything else -1.
template <class F>
OSStatus CatchFrameExceptions(F&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (OSStatus status) {
        return status;
    } catch (OSErr err) {
        return OSStatus(err);
    } catch (...) {
        return kUnspecifiedErr;
    }
}

template <class T>
class ComponentEntryPoint {
public:
    static OSStatus Dispatch(ComponentParameters* params, void* storage) noexcept {
        if (!params) return paramErr;
        return CatchFrameExceptions([&]() -> OSStatus {
            if (params->what == kComponentOpenSelect) return Open(params);
            return T::ComponentEntryDispatch(params, static_cast<T*>(storage));
        });
    }

private:
    static OSStatus Open(ComponentParameters* params) {
        auto instance = reinterpret_cast<ComponentInstance>(params->params[0]);
        T* object = new T(instance);  // a throwing constructor releases the memory itself
        try {
            object->PostConstructor();
        } catch (...) {
            delete object;
            throw;
        }
        SetComponentInstanceStorage(instance, object);
        return noErr;
    }
};
