// The instrument's exported component entry.
#include "Binding/VelmoraEntry.h"

#include "AUPublic/AUBase/ComponentEntryPoint.h"
#include "Velmora/VelmoraAU.h"

extern "C" OSStatus VelmoraAUEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<VelmoraAU>::Dispatch(params, storage);
}
