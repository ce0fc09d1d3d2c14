// The sections of the instrument's panel, by parameter ID: how hosts group the
// 102 parameters where they show them without the panel (LV2 port groups, the
// web page's controls). Every ID is in exactly one group.
#pragma once
#include <span>

#include "Platform/MacTypes.h"

struct ParameterGroup {
    const char* symbol;  // a name for machines: letters, digits and '_'
    const char* label;
    std::span<const UInt32> ids;
};

std::span<const ParameterGroup> parameterGroups();
