// The filter kernels: in-place block filters driven by a coefficient and a state block.
#pragma once

namespace kvel_filters {

// buffer: count samples filtered in place (count <= 0 processes nothing).
// coeffs: 16 floats designed by designFilter; only comb2048 writes them (jump flag, write position).
// state: 16 floats of filter memory carried from block to block; zeroed state is silent.
// context: comb2048's delay line of kCombLineLength floats; ignored by the others.
// Render thread: no allocation, no locks, no library calls per sample.

constexpr int kCombLineLength = 2048;
// The comb's coefficient slots that the kernel and the render loop write; designFilter sets
// slot 0 (the target delay in samples) and slot 1 (the feedback).
constexpr int kCombJumpFlag = 2;       // nonzero: the next block starts on the target delay
constexpr int kCombWritePosition = 3;  // where the line is written next

// The filter types, as "FilterA type" and "FilterB type" list them.
enum FilterType : int {
    kOff,
    kLowpass,
    kBandpass,
    kHighpass,
    kNotch,
    kComb,
    kLowpass2,
    kTameLP2,
    kRudeLP2,
    kBandpass2,
    kHighpass2,
    kNotch2,
    kPeak2,
    kLowShelf,
    kHighShelf,
    kPhaser,
    kVowelF,
    kVowelM,
};

using FilterKernel = void (*)(float* buffer, int count, float* coeffs, float* state, void* context);

void foo(float* buffer, int count, float* coeffs, float* state, void* context);
void SVF_Low(float* buffer, int count, float* coeffs, float* state, void* context);
void SVF_Band(float* buffer, int count, float* coeffs, float* state, void* context);
void SVF_High(float* buffer, int count, float* coeffs, float* state, void* context);
void SVF_Notch(float* buffer, int count, float* coeffs, float* state, void* context);
void comb2048(float* buffer, int count, float* coeffs, float* state, void* context);
// The comb's block in parts: combGlide sets the delay's glide over a block of count samples,
// then combPart runs its samples in parts of any length; together they give comb2048's samples.
void combGlide(float* coeffs, float* state, int count);
void combPart(float* buffer, int count, float* coeffs, float* state, void* context);
void Biquad_Low(float* buffer, int count, float* coeffs, float* state, void* context);
void Biquad_Low_t(float* buffer, int count, float* coeffs, float* state, void* context);
void Biquad_Low_r(float* buffer, int count, float* coeffs, float* state, void* context);
void Biquad(float* buffer, int count, float* coeffs, float* state, void* context);
void Phaser7(float* buffer, int count, float* coeffs, float* state, void* context);
void Vowel_f(float* buffer, int count, float* coeffs, float* state, void* context);
void Vowel_m(float* buffer, int count, float* coeffs, float* state, void* context);

// Filter type 0..17 to its kernel; any other type passes the signal through (foo).
FilterKernel kernelForType(int type);

}  // namespace kvel_filters
