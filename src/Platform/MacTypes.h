// Basic platform scalar types, result codes and four-character codes.
#pragma once
#include <cstddef>
#include <cstdint>

using UInt8 = std::uint8_t;
using SInt8 = std::int8_t;
using UInt16 = std::uint16_t;
using SInt16 = std::int16_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using UInt64 = std::uint64_t;
using SInt64 = std::int64_t;
using Float32 = float;
using Float64 = double;
using Boolean = unsigned char;
using OSStatus = SInt32;
using OSErr = SInt16;
using OSType = UInt32;
using FourCharCode = UInt32;
using ComponentResult = SInt32;

// The code of four characters, the first in the high byte ("aumu").
constexpr OSType FourCC(const char* s) {
    return (UInt32(UInt8(s[0])) << 24) | (UInt32(UInt8(s[1])) << 16) | (UInt32(UInt8(s[2])) << 8) | UInt32(UInt8(s[3]));
}

enum : OSStatus {
    noErr = 0,
    // What the frame returns for a render or buffer list it cannot use and for a
    // failure it has no status for; the value hosts have always seen.
    kUnspecifiedErr = -1,
    paramErr = -50,
    memFullErr = -108,
    badComponentSelector = SInt32(0x80008002),
    badComponentInstance = SInt32(0x80008001),
    invalidComponentID = -3000,
};
