// The panel's own texts for four stepped displays.
#pragma once
#include "Platform/MacTypes.h"

extern "C" {
void long2Trigger(UInt32 value, char* text, void* context);
void long2noise(UInt32 value, char* text, void* context);
void long2Shaper(UInt32 value, char* text, void* context);
void long2linemode(UInt32 value, char* text, void* context);
}
