// Preset files (.aupreset): the instrument's class-info state as a property
// list, XML when written, XML or binary when read.
#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

#include "Host/HostedInstrument.h"

// Larger files are refused unread; a preset is about 2 KB.
constexpr std::size_t kMaxStateFileBytes = 1u << 20;

// Both throw std::runtime_error with a message; a file that cannot be loaded
// changes nothing in the instrument.
void saveStateFile(HostedInstrument& instrument, const std::filesystem::path& path);
void loadStateFile(HostedInstrument& instrument, const std::filesystem::path& path);

// The conversions at the host boundary (null when a value has no equivalent).
std::string stateToXml(CFPropertyListRef state);
// Null for anything that is not a state dictionary, also before the property-list
// library reads a file nested or expanding beyond what a state needs.
CFPropertyListRef stateFromBytes(const std::string& bytes);  // the caller owns the result
