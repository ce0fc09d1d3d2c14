// velmora_instances: a session full of Velmoras. Many instances in one process on one
// thread, as a host runs the tracks of a session: instance k plays the benchmark pattern
// with factory preset 2k (00, 02, ... 30), and every round renders each instance's next
// 64-frame block in turn, its events first. The thread's CPU clock is read at the start and
// the end of the song only: a read between rounds, even with its own cost (the median of
// empty intervals) taken off, left the rounds of one instance about 1 ns per frame slower
// (the system call disturbs the caches), which flattered the ratio below.
//
// Each run plays the song with 1, 4 and 16 instances, then each of the 16 presets alone in
// the same loop; every figure is the least of the runs. A count's ratio is its time over
// the sum of its presets' times alone: above 1, instances slow each other down (caches).
// Resident memory per added instance: /proc/self/statm around opening 16 more instances
// after the first of the process.
//
// Usage: velmora_instances [--pattern=FILE.mid] [--runs=N]; prints one RESULT line per
// count, then one for the memory.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Platform/Log.h"

namespace {

constexpr long long kSongFrames = 441000;  // 10 s, as the other benchmarks play
constexpr int kMaxInstances = 16;
constexpr int kCounts[] = {1, 4, kMaxInstances};

SInt32 presetOf(int instance) { return SInt32(2 * instance); }

struct Track {
    std::unique_ptr<HostedInstrument> instrument;
    std::vector<float> left, right;
    std::vector<float*> channels;
};

std::vector<Track> openTracks(int count) {
    std::vector<Track> tracks(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        Track& t = tracks[size_t(k)];
        t.instrument = bench::openInstrument();
        t.instrument->selectPreset(presetOf(k));
        t.left.assign(bench::kBlock, 0.0f);
        t.right.assign(bench::kBlock, 0.0f);
        t.channels = {t.left.data(), t.right.data()};
    }
    return tracks;
}

// CPU seconds of one song's rounds, events included.
double playSession(const PatternPlayer& song, std::vector<Track>& tracks) {
    RenderCall call;
    bool ok = true;
    const double start = threadCpuSeconds();
    for (size_t b = 0; b < song.blockCount(); ++b)
        for (Track& t : tracks) ok &= song.playBlock(t.instrument->unit(), call, b, t.channels);
    const double end = threadCpuSeconds();
    if (!ok) throw std::runtime_error("a host-side call failed");
    return end - start;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char** argv) {
    SetPlatformLogHook(PlatformLogSilent);
    std::string patternPath = VELMORA_PATTERN;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pattern=", 10) == 0) {
            patternPath = argv[i] + 10;
        } else if (std::strncmp(argv[i], "--runs=", 7) == 0 && std::atoi(argv[i] + 7) > 0) {
            runs = std::atoi(argv[i] + 7);
        } else {
            std::fprintf(stderr, "usage: velmora_instances [--pattern=FILE.mid] [--runs=N]\n");
            return 2;
        }
    }
    try {
        const PatternPlayer song(readSmfFile(patternPath), kSongFrames, bench::kSampleRate, bench::kBlock);

        // Memory first, while nothing else has been opened: the first instance brings the
        // process's shared parts in, the next ones only what each instance holds.
        auto first = openTracks(1);
        const long before = residentBytes();
        auto more = openTracks(kMaxInstances);
        const long perInstance = (residentBytes() - before) / kMaxInstances;
        more.clear();
        first.clear();

        std::vector<double> session(std::size(kCounts), 1e30), alone(kMaxInstances, 1e30);
        for (int run = -1; run < runs; ++run) {  // run -1 warms up
            for (size_t c = 0; c < std::size(kCounts); ++c) {
                auto tracks = openTracks(kCounts[c]);
                const double t = playSession(song, tracks);
                if (run >= 0) session[c] = std::min(session[c], t);
            }
            for (int k = 0; k < kMaxInstances; ++k) {
                auto tracks = openTracks(1);
                tracks[0].instrument->selectPreset(presetOf(k));
                const double t = playSession(song, tracks);
                if (run >= 0) alone[size_t(k)] = std::min(alone[size_t(k)], t);
            }
        }
        const double frames = double(song.frames());
        for (size_t c = 0; c < std::size(kCounts); ++c) {
            const int n = kCounts[c];
            double sum = 0;
            std::string presets;
            for (int k = 0; k < n; ++k) {
                sum += alone[size_t(k)];
                presets += (k ? "," : "") + std::to_string(presetOf(k));
            }
            std::printf("RESULT instances=%d presets=%s ns_per_frame=%.3f alone_ns_per_frame=%.3f ratio=%.3f\n", n,
                        presets.c_str(), session[c] * 1e9 / (n * frames), sum * 1e9 / (n * frames), session[c] / sum);
        }
        std::printf("RESULT memory_per_instance_kb=%.1f rounds=%zu runs=%d\n", perInstance / 1024.0, song.blockCount(),
                    runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora_instances: %s\n", e.what());
        return 1;
    }
    return 0;
}
