// ComponentBase: the selectors every component answers.
#include "AUPublic/AUBase/ComponentBase.h"

OSStatus ComponentBase::ComponentEntryDispatch(ComponentParameters* params, ComponentBase* This) {
    if (!This) return paramErr;
    switch (params->what) {
        case kComponentCloseSelect: delete This; return noErr;
        case kComponentVersionSelect: return This->Version();
        case kComponentCanDoSelect: {
            const SInt16 selector = SInt16(params->params[0]);
            return selector >= kComponentVersionSelect && selector <= kComponentOpenSelect ? 1 : 0;
        }
        default: return badComponentSelector;
    }
}
