// ComponentBase: the host's instance handle and the open/close/version protocol.
#pragma once
#include "Platform/AudioUnitTypes.h"

// Deep failures travel as a thrown signed 32-bit status and become the call's
// result at the component entry.
[[noreturn]] inline void ThrowStatus(OSStatus status) { throw status; }

class ComponentBase {
public:
    explicit ComponentBase(ComponentInstance instance) : mComponentInstance(instance) {}
    virtual ~ComponentBase() = default;
    ComponentBase(const ComponentBase&) = delete;
    ComponentBase& operator=(const ComponentBase&) = delete;

    virtual OSStatus Version() { return 1; }
    virtual void PostConstructor() {}

    ComponentInstance GetComponentInstance() const { return mComponentInstance; }

    static OSStatus ComponentEntryDispatch(ComponentParameters* params, ComponentBase* This);

protected:
    ComponentInstance mComponentInstance;
};
