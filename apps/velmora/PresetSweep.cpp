// The preset sweep: one song of strikes over the grid, rendered in a stream and measured
// strike by strike with libebur128's true peak.
#include "PresetSweep.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "Host/Smf.h"
#include "PresetMeasure.h"

namespace {

constexpr double kRate = kMeasureRate;

// libebur128 oversamples 4 times with a 49-tap Hann-windowed sinc: each oversampled point is
// a weighted sum of 13 consecutive samples, whose weights add up to at most 1.001 and whose
// magnitudes add up to at most 1.865. So no point can exceed 1.001 |mid| + 1.865 range / 2,
// where mid and range come from the largest and smallest of any samples that include its 13.
// Decided block by block (the block's samples and the 12 before them): a block where that
// bound stays at or below the worst peak found so far cannot raise it and is not
// oversampled; the rest (in practice the loudest strikes near their peaks) is.
constexpr size_t kWindow = 13;
constexpr double kWeightSum = 1.001, kMagnitudeSum = 1.865;
constexpr size_t kBlock = 64;

struct EburDeleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};

// The strikes in the order they are played: the loudest velocities first, so that quiet
// strikes can mostly be passed over.
std::vector<SweepPoint> strikeOrder(const SweepGrid& grid) {
    std::vector<int> velocities = grid.velocities;
    std::sort(velocities.rbegin(), velocities.rend());
    std::vector<SweepPoint> order;
    for (int velocity : velocities)
        for (int wheel : grid.wheels)
            for (int pressure : grid.pressures)
                for (int bend : grid.bends)
                    for (int key : grid.keys)
                        for (int strike = 1; strike <= grid.strikes; ++strike)
                            order.push_back({key, velocity, wheel, pressure, bend, strike});
    return order;
}

// Each strike starts at a whole multiple of `strikeFrames`; its controllers are set with
// its note-on (they act on the tail of the strike before it, as a player's would).
MidiSong strikeSong(const std::vector<SweepPoint>& order, long long holdFrames, long long strikeFrames) {
    MidiSong song;
    const auto at = [](long long frame) { return double(frame) / kRate; };
    for (size_t i = 0; i < order.size(); ++i) {
        const SweepPoint& p = order[i];
        const long long start = (long long)i * strikeFrames;
        if (p.strike == 1) {
            song.events.push_back({at(start), 0xB0, 1, std::uint8_t(p.wheel)});
            song.events.push_back({at(start), 0xD0, std::uint8_t(p.pressure), 0});
            song.events.push_back({at(start), 0xE0, std::uint8_t(p.bend & 0x7F), std::uint8_t(p.bend >> 7)});
        }
        song.events.push_back({at(start), 0x90, std::uint8_t(p.key), std::uint8_t(p.velocity)});
        song.events.push_back({at(start + holdFrames), 0x80, std::uint8_t(p.key), 0});
    }
    song.lengthSeconds = at((long long)order.size() * strikeFrames);
    return song;
}

}  // namespace

SweepGrid SweepGrid::full() {
    SweepGrid g;
    for (int key = 24; key <= 103; key += 4) g.keys.push_back(key);
    g.velocities = {1, 64, 127};
    g.wheels = {0, 64, 127};
    g.pressures = {0, 64, 127};
    g.bends = {8192, 16383, 0};
    return g;
}

SweepGrid SweepGrid::coarse() {
    SweepGrid g;
    for (int key = 24; key <= 103; key += 12) g.keys.push_back(key);
    g.velocities = {127, 1};
    g.wheels = {0, 127};
    g.pressures = {0, 127};
    g.bends = {8192};
    return g;
}

size_t SweepGrid::strikeCount() const {
    return keys.size() * velocities.size() * wheels.size() * pressures.size() * bends.size() * size_t(strikes);
}

SweepFigures sweepPreset(const ComponentDescription& description, SInt32 preset, const SweepGrid& grid,
                         bool oversampleEverything) {
    const std::vector<SweepPoint> order = strikeOrder(grid);
    const long long holdFrames = std::llround(grid.holdSeconds * kRate);
    const long long strikeFrames = holdFrames + std::llround(grid.gapSeconds * kRate);
    const MidiSong song = strikeSong(order, holdFrames, strikeFrames);

    SweepFigures figures;
    figures.strikes = order.size();
    const std::unique_ptr<ebur128_state, EburDeleter> meter(
        ebur128_init(1, (unsigned long)kRate, EBUR128_MODE_TRUE_PEAK));
    if (!meter) throw std::bad_alloc();
    double worst = 0;  // linear

    // The strike being played, after the last samples of the one before it.
    constexpr size_t kContext = kWindow - 1;
    std::vector<float> strike(kContext, 0.0f);
    strike.reserve(kContext + size_t(strikeFrames));
    size_t index = 0;
    long long oversampled = 0;
    // Samples [from, to) of `strike` through the meter, after the kContext samples before them.
    const auto oversample = [&](size_t from, size_t to) {
        ebur128_add_frames_float(meter.get(), strike.data() + from - kContext, kContext);
        ebur128_add_frames_float(meter.get(), strike.data() + from, to - from);
        double peak = 0;
        ebur128_prev_true_peak(meter.get(), 0, &peak);
        oversampled += (long long)(to - from);
        if (peak > worst) {
            worst = peak;
            figures.worst = order[index];
        }
    };
    const auto finishStrike = [&] {
        size_t runStart = 0;  // of a stretch of blocks still to be oversampled; 0 when none
        for (size_t from = kContext; from < strike.size(); from += kBlock) {
            const size_t to = std::min(from + kBlock, strike.size());
            float low = strike[from - kContext], high = low;
            for (size_t i = from - kContext; i < to; ++i) {
                low = std::min(low, strike[i]);
                high = std::max(high, strike[i]);
            }
            const double mid = 0.5 * (double(high) + double(low)), range = double(high) - double(low);
            const bool mayExceed =
                oversampleEverything || kWeightSum * std::fabs(mid) + 0.5 * kMagnitudeSum * range > worst;
            if (mayExceed && !runStart) runStart = from;
            if (!mayExceed && runStart) {
                oversample(runStart, from);
                runStart = 0;
            }
        }
        if (runStart) oversample(runStart, strike.size());
        std::copy(strike.end() - kContext, strike.end(), strike.begin());
        strike.resize(kContext);
        ++index;
    };

    const long long frames = (long long)order.size() * strikeFrames;
    playPreset(description, preset, song, frames, [&](std::span<const float> samples) {
        while (!samples.empty()) {
            const size_t room = size_t(strikeFrames) - (strike.size() - kContext);
            const size_t take = std::min(room, samples.size());
            strike.insert(strike.end(), samples.begin(), samples.begin() + long(take));
            samples = samples.subspan(take);
            if (take == room) finishStrike();
        }
    });
    figures.worstTruePeakDb = worst > 0 ? 20 * std::log10(worst) : -HUGE_VAL;
    figures.oversampledShare = double(oversampled) / double(frames);
    return figures;
}

void sweepPresets(const ComponentDescription& description, const std::vector<std::pair<SInt32, std::string>>& presets,
                  const SweepGrid& grid, unsigned threads,
                  const std::function<void(size_t index, const SweepFigures&)>& done) {
    std::vector<std::optional<SweepFigures>> results(presets.size());
    std::exception_ptr failure;
    std::mutex lock;
    std::condition_variable ready;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < presets.size();) {
            std::optional<SweepFigures> figures;
            std::exception_ptr error;
            try {
                figures = sweepPreset(description, presets[i].first, grid);
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard<std::mutex> hold(lock);
            if (error && !failure) failure = error;
            results[i] = figures;
            ready.notify_all();
            if (error) next = presets.size();  // stop taking new presets
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1u, threads); ++t) workers.emplace_back(work);
    try {
        for (size_t i = 0; i < presets.size(); ++i) {
            std::unique_lock<std::mutex> hold(lock);
            ready.wait(hold, [&] { return results[i].has_value() || failure; });
            if (failure) break;
            const SweepFigures figures = *results[i];
            hold.unlock();
            done(i, figures);
        }
    } catch (...) {
        const std::lock_guard<std::mutex> hold(lock);
        if (!failure) failure = std::current_exception();
        next = presets.size();
    }
    for (std::thread& w : workers) w.join();
    if (failure) std::rethrow_exception(failure);
}
