// The settings block of the saved state: the record with big-endian floats.
#include "Velmora/VelmoraPresets.h"

#include <cstring>

#include "AUPublic/Utility/BigEndian.h"
#include "Platform/BitCast.h"

void EncodeSettingsBlock(const EZPreset& settings, UInt8 (&out)[sizeof(EZPreset)]) {
    std::memcpy(out, settings.name, sizeof settings.name);
    for (UInt32 i = 0; i < kNumberOfParameters; ++i)
        PutBigEndian32(out + sizeof settings.name + 4 * i, BitCast<UInt32>(settings.values[i]));
}

void DecodeSettingsBlock(const UInt8 (&in)[sizeof(EZPreset)], EZPreset& settings) {
    std::memcpy(settings.name, in, sizeof settings.name);
    for (UInt32 i = 0; i < kNumberOfParameters; ++i)
        settings.values[i] = BitCast<float>(GetBigEndian32(in + sizeof settings.name + 4 * i));
}
