// Coefficient design of the 18 filter types from a cutoff and a resonance.
#pragma once

namespace kvel_filters {

// Designs the coefficients that the kernel of `type` reads and leaves every other one of the
// 16 floats as it was (types outside 0..17 design nothing).
// type: filter type 0..17, truncated; cutoff: note-scale value, 1..139 from the caller;
// resonance: "fq" 0..100; phaseInc: the cutoff in cycles per sample (the engine's
// noteToPhaseInc of cutoff, at most 0.49); sampleRate: output rate in Hz (vowel types).
// Render thread, once per slice: no allocation.
void designFilter(float type, float cutoff, float resonance, float phaseInc, double sampleRate, float* coeffs);

}  // namespace kvel_filters
