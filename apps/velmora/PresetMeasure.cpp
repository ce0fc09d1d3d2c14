// Measuring presets: libebur128 for loudness and true peak, FFTW for the spectra.
#include "PresetMeasure.h"

#include <ebur128.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "Host/HostedInstrument.h"
#include "Host/SongRenderer.h"
#include "Loudness.h"

namespace {

constexpr double kRate = kMeasureRate;
constexpr double kAttackSeconds = 0.15;  // left out of held-note figures: the attack is not the sound held

double keyHz(int key) { return 110.0 * std::pow(2.0, (key - 69) / 12.0); }

std::vector<float> render(const ComponentDescription& description, SInt32 preset, const MidiSong& song,
                          long long frames = -1) {
    std::vector<float> samples;
    playPreset(description, preset, song, frames,
               [&](std::span<const float> s) { samples.insert(samples.end(), s.begin(), s.end()); });
    return samples;
}

// Level (dB) and centroid (Hz) of 50-ms Hann-windowed frames.
struct Frames {
    std::vector<double> levelDb, centroidHz, energy;
};

Frames analyse(std::span<const float> samples) {
    const int n = int(kRate * 0.05);
    std::vector<double> in(size_t(n), 0.0);
    std::vector<fftw_complex> out(size_t(n / 2 + 1));
    const std::unique_ptr<fftw_plan_s, decltype(&fftw_destroy_plan)> plan(
        fftw_plan_dft_r2c_1d(n, in.data(), out.data(), FFTW_ESTIMATE), fftw_destroy_plan);
    Frames f;
    for (size_t at = 0; at + size_t(n) <= samples.size(); at += size_t(n)) {
        double sumSquares = 0;
        for (int i = 0; i < n; ++i) {
            const double x = samples[at + size_t(i)];
            sumSquares += x * x;
            in[size_t(i)] = x * (0.5 - 0.5 * std::cos(2 * M_PI * i / n));
        }
        fftw_execute(plan.get());
        double power = 0, moment = 0;
        for (int k = 1; k <= n / 2; ++k) {
            const double p = out[size_t(k)][0] * out[size_t(k)][0] + out[size_t(k)][1] * out[size_t(k)][1];
            power += p;
            moment += p * k * kRate / n;
        }
        if (power <= 0) continue;
        f.energy.push_back(sumSquares);
        f.levelDb.push_back(10 * std::log10(std::max(sumSquares / n, 1e-20)));
        f.centroidHz.push_back(moment / power);
    }
    return f;
}

double spread(const std::vector<double>& v) {
    if (v.size() < 2) return 0;
    double mean = 0, squares = 0;
    for (double x : v) mean += x;
    mean /= double(v.size());
    for (double x : v) squares += (x - mean) * (x - mean);
    return std::sqrt(squares / double(v.size()));
}

NoteFigures heldNote(const ComponentDescription& description, SInt32 preset, int wheel) {
    constexpr double kHold = 2.0;
    MidiSong song;
    song.events = {{0, 0xB0, 1, std::uint8_t(wheel)},
                   {0, 0xE0, 0, 0x40},
                   {0, 0xD0, 0, 0},
                   {0.01, 0x90, 60, 100},
                   {kHold, 0x80, 60, 0}};
    song.lengthSeconds = kHold;
    const std::vector<float> samples = render(description, preset, song, (long long)(kHold * kRate));
    const auto held = std::span(samples).subspan(size_t(kAttackSeconds * kRate));
    NoteFigures figures;
    LoudnessMeter meter(1, int(kRate));
    meter.add(held);
    figures.lufs = meter.integratedLufs();
    const Frames f = analyse(held);
    double energy = 0, moment = 0;
    for (size_t i = 0; i < f.energy.size(); ++i) {
        energy += f.energy[i];
        moment += f.energy[i] * f.centroidHz[i];
    }
    figures.centroidHz = energy > 0 ? moment / energy : 0;
    figures.levelSpreadDb = spread(f.levelDb);
    double meanCentroid = 0;
    for (double c : f.centroidHz) meanCentroid += c;
    meanCentroid = f.centroidHz.empty() ? 0 : meanCentroid / double(f.centroidHz.size());
    figures.brightnessSpread = meanCentroid > 0 ? spread(f.centroidHz) / meanCentroid : 0;
    return figures;
}

// `phrase` with the wheel held at `wheel` instead of moving.
MidiSong wheelHeld(const MidiSong& phrase, int wheel) {
    MidiSong song = phrase;
    std::erase_if(song.events, [](const MidiEvent& e) { return (e.status & 0xF0) == 0xB0 && e.data1 == 1; });
    song.events.insert(song.events.begin(), {0, 0xB0, 1, std::uint8_t(wheel)});
    return song;
}

double phraseLufs(const ComponentDescription& description, SInt32 preset, const MidiSong& phrase) {
    LoudnessMeter meter(1, int(kRate));
    meter.add(render(description, preset, phrase));
    return meter.integratedLufs();
}

// One way over the steps, allowing `slack` of noise between neighbours.
template <class Get>
bool oneWay(const PresetFigures& f, Get get, double slack) {
    bool up = true, down = true;
    for (size_t i = 1; i < f.wheel.size(); ++i) {
        const double a = get(f.wheel[i - 1]), b = get(f.wheel[i]);
        up = up && b >= a - slack;
        down = down && b <= a + slack;
    }
    return up || down;
}

}  // namespace

bool wheelAnswers(const PresetFigures& f, const char** how) {
    const NoteFigures &low = f.wheel.front(), &high = f.wheel.back();
    const auto ratio = [](double a, double b) { return a > 0 && b > 0 ? std::max(a / b, b / a) : 1.0; };
    const auto say = [&](const char* what) {
        if (how) *how = what;
        return true;
    };
    if (std::abs(high.lufs - low.lufs) >= 3 && oneWay(
                                                   f, [](const NoteFigures& n) { return n.lufs; }, 0.3))
        return say("loudness");
    if (ratio(high.centroidHz, low.centroidHz) >= 1.3 &&
        oneWay(
            f, [](const NoteFigures& n) { return std::log(std::max(n.centroidHz, 1.0)); }, 0.03))
        return say("brightness");
    if (ratio(high.levelSpreadDb, low.levelSpreadDb) >= 2 &&
        oneWay(
            f, [](const NoteFigures& n) { return n.levelSpreadDb; },
            0.1 * std::max(high.levelSpreadDb, low.levelSpreadDb)))
        return say("level wobble");
    if (ratio(high.brightnessSpread, low.brightnessSpread) >= 2 &&
        oneWay(
            f, [](const NoteFigures& n) { return n.brightnessSpread; },
            0.1 * std::max(high.brightnessSpread, low.brightnessSpread)))
        return say("brightness wobble");
    if (how) *how = "nothing";
    return false;
}

void playPreset(const ComponentDescription& description, SInt32 preset, const MidiSong& song, long long frames,
                const std::function<void(std::span<const float>)>& sink) {
    HostedInstrument instrument(description);
    instrument.configure(kMeasureRate, 1, 64);
    instrument.selectPreset(preset);
    RenderOptions options;
    options.sampleRate = kMeasureRate;
    options.channels = 1;
    options.frames = frames;
    renderSong(instrument, song, options, sink);
}

PresetFigures measurePreset(const ComponentDescription& description, SInt32 preset, const MidiSong& phrase) {
    PresetFigures figures;
    const std::vector<float> samples = render(description, preset, phrase);
    LoudnessMeter meter(1, int(kRate));
    meter.add(samples);
    figures.lufs = meter.integratedLufs();
    figures.truePeakDb = meter.truePeakDb();

    // Held notes: from note-on to its note-off or the next note-on (one voice), with the bend
    // at rest throughout, so that the pitch and its period are known.
    int bend = 8192, key = -1;
    bool bent = false;
    double start = 0;
    const auto heldUntil = [&](double end) {
        if (key < 48 || bent || end - start < kAttackSeconds + 0.2) return;
        const double period = kRate / keyHz(key);
        const long long first = std::llround((start + kAttackSeconds) * kRate);
        const double available = (end - start - kAttackSeconds) * kRate;
        const long long count = std::llround(std::floor(available / period) * period);
        if (count <= 0 || first + count > (long long)samples.size()) return;
        double sum = 0;
        for (long long i = first; i < first + count; ++i) sum += samples[size_t(i)];
        const double mean = sum / double(count);
        if (std::abs(mean) > std::abs(figures.worstDc)) {
            figures.worstDc = mean;
            figures.worstDcKey = key;
        }
    };
    for (const MidiEvent& e : phrase.events) {
        const int kind = e.status & 0xF0;
        if (kind == 0xE0) {
            bend = e.data1 | (e.data2 << 7);
            if (key >= 0) bent = true;
        } else if (kind == 0x90 && e.data2 > 0) {
            if (key >= 0) heldUntil(e.seconds);
            key = e.data1;
            start = e.seconds;
            bent = bend != 8192;
        } else if ((kind == 0x80 || kind == 0x90) && e.data1 == key) {
            heldUntil(e.seconds);
            key = -1;
        }
    }
    for (size_t i = 0; i < kWheelSteps.size(); ++i) figures.wheel[i] = heldNote(description, preset, kWheelSteps[i]);
    figures.restLufs = figures.wheelFullLufs = figures.lufs;
    if (figures.wheel.front() != figures.wheel.back()) {
        figures.restLufs = phraseLufs(description, preset, wheelHeld(phrase, 0));
        figures.wheelFullLufs = phraseLufs(description, preset, wheelHeld(phrase, 127));
    }
    return figures;
}
