// Benchmarks of the filter section: each kernel on 64-sample blocks, and the
// per-slice coefficient design (setFilter) of each type.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Filters/FilterKernels.h"

namespace {

// Names of the filter types as the parameter lists them.
const char* const kTypeNames[18] = {"off",      "lowpass",   "bandpass",  "highpass",  "notch",     "comb",
                                    "lowpass2", "tame LP2",  "rude LP2",  "bandpass2", "highpass2", "notch2",
                                    "peak2",    "low shelf", "highshelf", "phaser",    "vow f",     "vow m"};

const char* kernelName(int type) {
    static const char* const names[18] = {"foo",      "SVF_Low",    "SVF_Band",     "SVF_High",     "SVF_Notch",
                                          "comb2048", "Biquad_Low", "Biquad_Low_t", "Biquad_Low_r", "Biquad",
                                          "Biquad",   "Biquad",     "Biquad",       "Biquad",       "Biquad",
                                          "Phaser7",  "Vowel_f",    "Vowel_m"};
    return names[type];
}

// 64 blocks of a saw at about 110 Hz, at half scale: the kernels see a signal
// that stays in the normal float range, as behind the oscillators.
const std::vector<float>& input() {
    static const std::vector<float> samples = [] {
        std::vector<float> s(64 * 64);
        float phase = 0;
        for (float& x : s) {
            x = phase - 0.5f;
            phase += 110.0f / 44100.0f;
            if (phase >= 1) phase -= 1;
        }
        return s;
    }();
    return samples;
}

// One kernel on one 64-sample block per iteration, with coefficients designed by
// the engine for cutoff note 80 and resonance 50. The copy of the block is included.
void BM_FilterKernel(benchmark::State& state, int type) {
    auto instrument = bench::openInstrument();
    float coeffs[16] = {}, filterState[16] = {};
    bench::engine(*instrument).setFilter(float(type), 80, 50, coeffs);
    const kvel_filters::FilterKernel kernel = kvel_filters::kernelForType(type);
    std::vector<float> line(4096, 0.0f);
    const std::vector<float>& in = input();
    float buffer[64];
    size_t block = 0;
    for (auto _ : state) {
        std::memcpy(buffer, in.data() + block * 64, sizeof buffer);
        block = (block + 1) & 63;
        kernel(buffer, 64, coeffs, filterState, line.data());
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// setFilter: the cutoff's phase increment and the design, once per slice. The cutoff
// walks over 16 values so that each call designs anew.
void BM_SetFilter(benchmark::State& state, int type) {
    auto instrument = bench::openInstrument();
    VelmoraAU& engine = bench::engine(*instrument);
    float coeffs[16] = {};
    int step = 0;
    for (auto _ : state) {
        const float cutoff = 40.0f + 4.3f * float(step);
        step = (step + 1) & 15;
        engine.setFilter(float(type), cutoff, 50, coeffs);
        benchmark::DoNotOptimize(coeffs);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool kRegistered = [] {
    for (int type = 0; type <= 17; ++type) {
        const std::string label = (type < 10 ? "0" : "") + std::to_string(type) + " " + kTypeNames[type];
        benchmark::RegisterBenchmark(("FilterKernel/" + label + " (" + kernelName(type) + ")").c_str(), BM_FilterKernel,
                                     type);
    }
    for (int type = 1; type <= 17; ++type) {
        const std::string label = (type < 10 ? "0" : "") + std::to_string(type) + " " + kTypeNames[type];
        benchmark::RegisterBenchmark(("SetFilter/" + label).c_str(), BM_SetFilter, type);
    }
    return true;
}();

}  // namespace
