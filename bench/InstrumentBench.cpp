// Benchmarks of the whole instrument through the host-side calls: the pattern played
// in 64-frame render calls at 44.1 kHz with the default parameters, each factory preset
// and the heaviest configuration. Reported time: CPU time inside the render calls, per
// song; items: output frames.
//
// The render calls are not timed one by one: the thread's CPU clock costs a system
// call, about 3 ns per frame if read around every 64-frame call. Instead the CPU time
// of the whole song (events and render calls) is read once, and the CPU time of the
// same event calls without rendering is subtracted.
//
// Usage: velmora_bench [--pattern=FILE.mid] [Google Benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "HeaviestConfiguration.h"
#include "Platform/Log.h"

namespace bench {
namespace {

std::string gPatternPath = VELMORA_PATTERN;

// The pattern's length in lv2render's default run: 10 s.
constexpr long long kSongFrames = 441000;

}  // namespace

const PatternPlayer& pattern() {
    static const PatternPlayer player(readSmfFile(gPatternPath), kSongFrames, kSampleRate, kBlock);
    return player;
}

}  // namespace bench

namespace {

using Setup = std::function<void(HostedInstrument&)>;

void BM_Instrument(benchmark::State& state, const Setup& setup) {
    const PatternPlayer& song = bench::pattern();
    std::vector<float> left(bench::kBlock), right(bench::kBlock);
    const std::vector<float*> channels = {left.data(), right.data()};
    {
        auto probe = bench::openInstrument();
        setup(*probe);
        // The filter types, for the report's floor: the slowest recursion on the path.
        state.counters["filterA"] = probe->getParameter(kFilterAType);
        state.counters["filterB"] = probe->getParameter(kFilterBType);
    }
    for (auto _ : state) {
        // A fresh instrument for every song, outside the timed part.
        auto instrument = bench::openInstrument();
        setup(*instrument);
        const double start = threadCpuSeconds();
        const bool played = song.play(instrument->unit(), channels, [](UInt32) {});
        const double rendered = threadCpuSeconds();
        const bool delivered = song.deliverOnly(instrument->unit());
        const double end = threadCpuSeconds();
        if (!played || !delivered) {
            state.SkipWithError("a host-side call failed");
            break;
        }
        state.SetIterationTime((rendered - start) - (end - rendered));
    }
    state.SetItemsProcessed(state.iterations() * song.frames());
    state.counters["frames"] = double(song.frames());
}

// Opening and initializing one more instance while another is open: what a host that
// opens many instances waits for each one after the first.
void BM_InitializeAnother(benchmark::State& state) {
    auto first = bench::openInstrument();
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        auto another = bench::openInstrument();
        state.SetIterationTime(threadCpuSeconds() - start);
        benchmark::DoNotOptimize(another.get());
    }
}

// The inner cost of reading the thread's CPU clock twice in a row: what a host that
// times every render call adds to each call's figure.
void BM_ThreadCpuClockPair(benchmark::State& state) {
    for (auto _ : state) {
        const double a = threadCpuSeconds();
        const double b = threadCpuSeconds();
        state.SetIterationTime(b - a);
    }
}

void registerInstrumentBenchmarks() {
    auto add = [](const std::string& name, Setup setup) {
        benchmark::RegisterBenchmark(("Instrument/" + name).c_str(), BM_Instrument, std::move(setup))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("default", [](HostedInstrument&) {});
    auto probe = bench::openInstrument();
    for (const auto& [number, name] : probe->factoryPresets()) {
        char label[96];
        std::snprintf(label, sizeof label, "preset %02d %s", int(number), name.c_str());
        const SInt32 preset = number;
        add(label, [preset](HostedInstrument& instrument) { instrument.selectPreset(preset); });
    }
    add("heaviest", [](HostedInstrument& instrument) {
        for (const ParameterSetting& s : kHeaviestConfiguration) instrument.setParameter(s.id, s.value);
    });
    benchmark::RegisterBenchmark("Initialize/another instance", BM_InitializeAnother)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Timer/thread CPU clock pair", BM_ThreadCpuClockPair)
        ->UseManualTime()
        ->Unit(benchmark::kNanosecond);
}

}  // namespace

int main(int argc, char** argv) {
    SetPlatformLogHook(PlatformLogSilent);
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pattern=", 10) == 0)
            bench::gPatternPath = argv[i] + 10;
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    try {
        // The first instance of the process builds the shared tables: timed once, here,
        // before anything else has opened one.
        const double start = threadCpuSeconds();
        bench::openInstrument();
        const double firstMs = (threadCpuSeconds() - start) * 1e3;
        benchmark::AddCustomContext("initialize_first_ms", std::to_string(firstMs));
        benchmark::AddCustomContext("pattern", bench::gPatternPath);
        benchmark::AddCustomContext("build_flags", VELMORA_BUILD_FLAGS);
        benchmark::AddCustomContext("pattern_frames", std::to_string(bench::pattern().frames()));
        benchmark::AddCustomContext("pattern_events", std::to_string(bench::pattern().eventCount()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora_bench: %s\n", e.what());
        return 1;
    }
    registerInstrumentBenchmarks();
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
