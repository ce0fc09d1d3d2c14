// The editor's exported component entry.
#include "Binding/VelmoraViewEntry.h"

#include "AUPublic/AUBase/ComponentEntryPoint.h"
#include "VelmoraView/VelmoraAUView.h"

extern "C" OSStatus VelmoraAUViewEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<VelmoraAUView>::Dispatch(params, storage);
}
