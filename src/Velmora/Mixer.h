// The per-path gain, the four waveshapers ("rumble") and the mixer of the two
// signal paths. All work in place on one slice.
#pragma once

#include "Velmora/VelmoraParameters.h"

void ProcessGain(float* buffer, float gain, int n);
// type: 1 "scramble", 2 "engage", 3 "degenerat", 4 "wedge"; others change nothing.
void ProcessRumble(int type, float depth, float* buffer, int n);
// mode: 0 "2 + 1", 1 "2 - 1", 2 "2 x 1", 3 "1"; others leave path B as it is.
void ProcessMix(float* bufferB, const float* bufferA, int n, int mode);
