// Benchmarks of the per-sample routines behind the oscillators: the three table
// oscillators, the noise, the path gain, the four waveshapers and the mixer, each on
// 64-sample blocks.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchSupport.h"
#include "Velmora/Mixer.h"

namespace {

enum class Routine { Voice = kWaveSawOE, PD1 = kWaveDigiwave, PWM = kWavePwm };

// An instrument with oscillator 1 alone playing `key` in the given wave, shapes at
// mid values (Mo'logy `mology`: 0 leaves the three readers of "saw o/e" together),
// rendered for a few slices so that its increments and gains are set; then the routine
// is called directly on the oscillator, one 64-sample block per iteration.
void BM_Oscillator(benchmark::State& state, Routine routine, float mology) {
    auto instrument = bench::openInstrument();
    instrument->setParameter(kOSC1Wave, float(routine));
    instrument->setParameter(kOSC2Wave, kWaveOff);
    instrument->setParameter(kOSC1Mology, mology);
    instrument->setParameter(kOSC1Vari, 40);
    instrument->midi(0x90, UInt8(state.range(0)), 100, 0);
    float left[64], right[64];
    for (int i = 0; i < 4; ++i) instrument->render(64, {left, right});
    VelmoraAU& engine = bench::engine(*instrument);
    Oscillator& oscillator = engine.oscillator(0);
    const OscillatorTables tables = engine.oscillatorTables();
    float out[64];
    for (auto _ : state) {
        switch (routine) {
            case Routine::Voice: oscillator.processVoice(tables, out, 64); break;
            case Routine::PD1: oscillator.processPD1(tables, out, 64); break;
            case Routine::PWM: oscillator.processPWM(tables, out, 64); break;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

void BM_Noise(benchmark::State& state) {
    auto instrument = bench::openInstrument();
    instrument->setParameter(kNoiseType, 1);
    instrument->setParameter(kNoiseGain, 30);
    instrument->setParameter(kNoisePan, 40);
    VelmoraAU& engine = bench::engine(*instrument);
    float a[64] = {}, b[64] = {};
    for (auto _ : state) {
        engine.addNoise(a, b, 64, 0, 0);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// A block of a triangle between -0.9 and 0.9, refreshed before each call (included).
struct Block {
    float source[64], buffer[64];
    Block() {
        for (int i = 0; i < 64; ++i) source[i] = 0.9f * (i < 32 ? float(i) / 16 - 1 : 3 - float(i) / 16);
    }
    void refresh() {
        for (int i = 0; i < 64; ++i) buffer[i] = source[i];
    }
};

void BM_Gain(benchmark::State& state) {
    Block block;
    for (auto _ : state) {
        block.refresh();
        ProcessGain(block.buffer, 0.7f, 64);
        benchmark::DoNotOptimize(block.buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

void BM_Rumble(benchmark::State& state) {
    Block block;
    const int type = int(state.range(0));
    for (auto _ : state) {
        block.refresh();
        ProcessRumble(type, 0.6f, block.buffer, 64);
        benchmark::DoNotOptimize(block.buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

void BM_Mix(benchmark::State& state) {
    Block a, b;
    const int mode = int(state.range(0));
    a.refresh();
    for (auto _ : state) {
        b.refresh();
        ProcessMix(b.buffer, a.buffer, 64, mode);
        benchmark::DoNotOptimize(b.buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// Keys 36, 60 and 84 read different harmonic levels.
BENCHMARK_CAPTURE(BM_Oscillator, processVoice, Routine::Voice, 30.0f)->ArgName("key")->Arg(36)->Arg(60)->Arg(84);
BENCHMARK_CAPTURE(BM_Oscillator, processVoice no detune, Routine::Voice, 0.0f)
    ->ArgName("key")
    ->Arg(36)
    ->Arg(60)
    ->Arg(84);
BENCHMARK_CAPTURE(BM_Oscillator, processPD1, Routine::PD1, 30.0f)->ArgName("key")->Arg(36)->Arg(60)->Arg(84);
BENCHMARK_CAPTURE(BM_Oscillator, processPWM, Routine::PWM, 30.0f)->ArgName("key")->Arg(36)->Arg(60)->Arg(84);
BENCHMARK(BM_Noise);
BENCHMARK(BM_Gain);
BENCHMARK(BM_Rumble)->ArgName("type")->DenseRange(1, 4);
BENCHMARK(BM_Mix)->ArgName("mode")->DenseRange(0, 3);

}  // namespace
