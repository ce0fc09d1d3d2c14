// The settings block of the saved state: the record with big-endian floats.
#include "Velmora/VelmoraPresets.h"

#include <bit>
#include <cstring>


void EncodeSettingsBlock(const EZPreset& settings, UInt8 (&out)[sizeof(EZPreset)]) {
    std::memcpy(out, settings.name, sizeof settings.name);
    for (UInt32 i = 0; i < kNumberOfParameters; ++i) {
        const UInt32 bits = std::bit_cast<UInt32>(settings.values[i]);
        UInt8* p = out + sizeof settings.name + 4 * i;
        p[0] = UInt8(bits >> 24);
        p[1] = UInt8(bits >> 16);
        p[2] = UInt8(bits >> 8);
        p[3] = UInt8(bits);
    }
}

void DecodeSettingsBlock(const UInt8 (&in)[sizeof(EZPreset)], EZPreset& settings) {
    std::memcpy(settings.name, in, sizeof settings.name);
    for (UInt32 i = 0; i < kNumberOfParameters; ++i) {
        const UInt8* p = in + sizeof settings.name + 4 * i;
        const UInt32 bits = (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
        settings.values[i] = std::bit_cast<float>(bits);
    }
}
