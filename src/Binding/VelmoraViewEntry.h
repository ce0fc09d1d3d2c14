// The editor's component entry, its registration and its description.
#pragma once
#include "Platform/Components.h"
#include "Quib/QuibGraphic.h"

constexpr ComponentDescription kVelmoraViewDescription{FourCC("auvw"), FourCC("TvW1"), FourCC("KqVt"), 0, 0};
// The bundle's identifier: the editor finds its pictures through it.
constexpr const char* kVelmoraBundleIdentifier = kQuibBundleIdentifier;

extern "C" __attribute__((visibility("default"))) OSStatus VelmoraAUViewEntry(ComponentParameters* params,
                                                                              void* storage);

// Registers the editor linked into this program, with the bundle folder that
// holds its pictures (once; later calls return the same component).
Component RegisterVelmoraView(const std::string& bundlePath);
