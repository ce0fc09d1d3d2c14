// What the C interfaces of the page's modules share: the handle of one
// instance, and how a function is exported under its own name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "WebInstrument.h"

#define VM_EXPORT(name) extern "C" __attribute__((used, export_name(#name)))

// The page's instance keeps what it hands out as text or bytes until the next such call.
struct Handle {
    WebInstrument instrument;
    std::string text;
    std::vector<std::uint8_t> state;
};
