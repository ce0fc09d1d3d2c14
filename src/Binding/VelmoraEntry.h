// The instrument's component entry, its registration and its description.
#pragma once
#include "Platform/Components.h"

constexpr ComponentDescription kVelmoraDescription{FourCC("aumu"), FourCC("TvS1"), FourCC("KqVt"), 0, 0};

extern "C" __attribute__((visibility("default"))) OSStatus VelmoraAUEntry(ComponentParameters* params, void* storage);

// Registers the instrument linked into this program (once; later calls return
// the same component).
Component RegisterVelmora();
