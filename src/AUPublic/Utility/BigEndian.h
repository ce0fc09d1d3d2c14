// Big-endian 32-bit words, the byte order of saved parameter and settings blocks.
#pragma once
#include <vector>

#include "Platform/MacTypes.h"

inline void PutBigEndian32(UInt8* p, UInt32 v) {
    p[0] = UInt8(v >> 24);
    p[1] = UInt8(v >> 16);
    p[2] = UInt8(v >> 8);
    p[3] = UInt8(v);
}

inline void PutBigEndian32(std::vector<UInt8>& out, UInt32 v) {
    UInt8 b[4];
    PutBigEndian32(b, v);
    out.insert(out.end(), b, b + 4);
}

inline UInt32 GetBigEndian32(const UInt8* p) {
    return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
}
