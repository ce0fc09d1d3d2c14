// AUOutputElement: an output bus, whose buffer follows its stream format.
#pragma once
#include "AUPublic/AUBase/AUScopeElement.h"

class AUOutputElement : public AUIOElement {
public:
    explicit AUOutputElement(AUBase& audioUnit) : AUIOElement(audioUnit) { AllocateBuffer(); }

    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override {
        const OSStatus result = AUIOElement::SetStreamFormat(format);
        if (result == noErr) AllocateBuffer();
        return result;
    }
    bool NeedsBufferSpace() const override { return true; }
};
