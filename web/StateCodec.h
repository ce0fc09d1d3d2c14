// The class-info state between the web page's scripts, which read and write the
// preset file's XML with the browser's parser, and the instrument. A value is a
// tag byte and its payload, little-endian: 'D' a dictionary (u32 count, then each
// key as u32 length and UTF-8 bytes, and its value), 'S' a string (u32 length,
// UTF-8), 'I' an integer (i64), 'R' a real (f64), 'B' data (u32 length, bytes),
// 'X' a value no state holds (an array, a date, a boolean), dropped as the
// command line drops it.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "Platform/CFTypes.h"

// Dictionaries, strings, numbers and data; anything else is written as 'X'.
std::vector<std::uint8_t> encodeState(CFPropertyListRef state);

// Null unless the bytes are one whole value that is a dictionary, nested at
// most 32 deep, with no zero byte inside a string or key. The caller owns it.
CFPropertyListRef decodeState(std::span<const std::uint8_t> bytes);
