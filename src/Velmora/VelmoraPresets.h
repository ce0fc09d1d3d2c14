// The settings record and the factory presets.
#pragma once
#include "Velmora/VelmoraParameters.h"

// A name (48 bytes, zero-terminated, ISO Latin-1) and the 102 values in ID order.
struct EZPreset {
    char name[48];
    float values[kNumberOfParameters];
};
static_assert(sizeof(EZPreset) == 456);

constexpr int kNumFactoryPresets = 31;
extern const EZPreset asEZ_preset[kNumFactoryPresets];
extern const char* const kFactoryPresetKinds[kNumFactoryPresets];  // bass, lead, pad, sequence or effect

// The record as stored in a saved state: name bytes as they are, each float
// big-endian. Read refuses any other length.
void EncodeSettingsBlock(const EZPreset& settings, UInt8 (&out)[sizeof(EZPreset)]);
void DecodeSettingsBlock(const UInt8 (&in)[sizeof(EZPreset)], EZPreset& settings);
