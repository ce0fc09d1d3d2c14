// Preset files (.aupreset): the instrument's class-info state as a property
// list, XML when written, XML or binary when read.
#pragma once
#include <filesystem>
#include <string>

#include "HostedInstrument.h"

// Both throw std::runtime_error with a message; a file that cannot be loaded
// changes nothing in the instrument.
void saveStateFile(HostedInstrument& instrument, const std::filesystem::path& path);
void loadStateFile(HostedInstrument& instrument, const std::filesystem::path& path);

// The conversions at the host boundary (null when a value has no equivalent).
std::string stateToXml(CFPropertyListRef state);
CFPropertyListRef stateFromBytes(const std::string& bytes);  // the caller owns the result
