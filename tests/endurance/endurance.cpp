// Endurance run: renders an hour of audio (by default) in 64-frame calls from a
// long random MIDI stream with random in-range parameter automation and preset
// changes, and checks that the output stays finite and bounded and that the
// process's heap and resident memory do not grow. Then `velmora render` writes
// as long a song to a file in a temporary folder (removed), and its peak resident
// memory must be that of a one-minute render. Not a test: `make endurance`.
//
//     endurance [--seconds N] [--seed N] [--rate HZ] [--params FIRST-LAST[,FIRST-LAST]...]
//
// --params limits the automation to ranges of IDs, to narrow down a failure.
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Host/Smf.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"
#include "Velmora/VelmoraParameters.h"
#include "Velmora/VelmoraPresets.h"

namespace {

constexpr UInt32 kFrames = 64;
// The instrument's output limit. Some in-range settings do run away ("rude LP2"
// fed a loud saw near the top of its range saturates into growth); the render
// then holds the output at the limit and restarts the filter from rest, so the
// check is that nothing ever passes the limit or becomes non-finite.
constexpr float kBound = 1e4f;

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

long heapInUseBytes() { return long(mallinfo2().uordblks); }

struct Options {
    double seconds = 3600;
    unsigned seed = 1;
    double rate = 44100;
    std::vector<AudioUnitParameterID> params;  // automated; empty means all
};

// "a-b,c,d-e" into IDs; false when malformed or outside 0..101.
bool parseIds(const char* text, std::vector<AudioUnitParameterID>& out) {
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const unsigned long first = std::strtoul(p, &end, 10);
        unsigned long last = first;
        if (end == p) return false;
        p = end;
        if (*p == '-') {
            last = std::strtoul(++p, &end, 10);
            if (end == p) return false;
            p = end;
        }
        if (first > last || last >= kNumberOfParameters) return false;
        for (unsigned long id = first; id <= last; ++id) out.push_back(AudioUnitParameterID(id));
        if (*p == ',')
            ++p;
        else if (*p)
            return false;
    }
    return !out.empty();
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "usage: endurance [--seconds N] [--seed N] [--rate HZ] [--params IDS]\n");
            std::exit(2);
        }
        if (a == "--seconds")
            o.seconds = std::atof(argv[++i]);
        else if (a == "--seed")
            o.seed = unsigned(std::atol(argv[++i]));
        else if (a == "--rate")
            o.rate = std::atof(argv[++i]);
        else if (a == "--params") {
            if (!parseIds(argv[++i], o.params)) {
                std::fprintf(stderr, "--params takes IDs 0..101 such as 48-50,57\n");
                std::exit(2);
            }
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            std::exit(2);
        }
    }
    if (!(o.seconds > 0) || !(o.rate >= 8000 && o.rate <= 192000)) {
        std::fprintf(stderr, "seconds must be positive and the rate 8000..192000\n");
        std::exit(2);
    }
    return o;
}

AudioUnit openInstrument(double rate) {
    SetPlatformLogHook(PlatformLogSilent);
    AudioUnit unit = nullptr;
    if (OpenAComponent(RegisterVelmora(), &unit) != noErr) return nullptr;
    const AudioStreamBasicDescription f = CanonicalOutputFormat(rate, 2);
    if (AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f) != noErr ||
        AudioUnitInitialize(unit) != noErr) {
        CloseComponent(unit);
        return nullptr;
    }
    return unit;
}

// Every parameter as ID=value, to reproduce a failure.
std::string settings(AudioUnit unit) {
    std::string out;
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
        Float32 v = 0;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        char item[48];
        std::snprintf(item, sizeof item, "%s%u=%.9g", id ? " " : "", unsigned(id), double(v));
        out += item;
    }
    return out;
}

// The random performance: notes (often overlapping, for legato and
// last-note priority), controllers, automation and now and then a preset.
class Performer {
public:
    Performer(AudioUnit unit, unsigned seed, std::vector<AudioUnitParameterID> params)
        : mUnit(unit), mRng(seed), mParams(std::move(params)) {
        if (mParams.empty())
            for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) mParams.push_back(id);
    }

    // Called before each render call; returns how many host calls failed.
    long beforeBlock() {
        long failures = 0;
        auto call = [&](OSStatus s) { failures += s != noErr; };
        std::uniform_int_distribution<int> percent(0, 99);
        const UInt32 offset = UInt32(mRng() % kFrames);
        if (percent(mRng) < 3) {  // about 20 note-ons a second
            const UInt8 key = UInt8(20 + mRng() % 90);
            const UInt32 velocity = 1 + mRng() % 127;
            call(MusicDeviceMIDIEvent(mUnit, 0x90, key, velocity, offset));
            remember("block %lld: note on %u velocity %u at %u", mBlock, unsigned(key), unsigned(velocity),
                     unsigned(offset));
            mHeld.push_back(key);
        }
        if (!mHeld.empty() && percent(mRng) < 3) {
            const size_t i = mRng() % mHeld.size();
            call(MusicDeviceMIDIEvent(mUnit, 0x80, mHeld[i], 64, offset));
            remember("block %lld: note off %u at %u", mBlock, unsigned(mHeld[i]), unsigned(offset));
            mHeld.erase(mHeld.begin() + long(i));
        }
        if (mHeld.size() > 6) {  // keep the stream from piling up keys
            call(MusicDeviceMIDIEvent(mUnit, 0x80, mHeld.front(), 0, 0));
            remember("block %lld: note off %u at 0", mBlock, unsigned(mHeld.front()));
            mHeld.erase(mHeld.begin());
        }
        if (percent(mRng) < 2) {
            const UInt32 lsb = mRng() % 128, msb = mRng() % 128;
            call(MusicDeviceMIDIEvent(mUnit, 0xE0, lsb, msb, offset));
            remember("block %lld: bend %u %u", mBlock, unsigned(lsb), unsigned(msb));
        }
        if (percent(mRng) < 2) {
            const UInt32 wheel = mRng() % 128;
            call(MusicDeviceMIDIEvent(mUnit, 0xB0, 1, wheel, offset));
            remember("block %lld: mod wheel %u", mBlock, unsigned(wheel));
        }
        if (percent(mRng) < 1) {
            const UInt32 pressure = mRng() % 128;
            call(MusicDeviceMIDIEvent(mUnit, 0xD0, pressure, 0, offset));
            remember("block %lld: pressure %u", mBlock, unsigned(pressure));
        }
        if (percent(mRng) < 10) {  // automation: one parameter, inside its range
            const AudioUnitParameterID id = mParams[mRng() % mParams.size()];
            const AudioUnitParameterInfo& info = VelmoraParameterTable()[id];
            // The noise gain's modulation depth is not scaled by 0.01: past a few units
            // it drives the noise far beyond full scale by design (presets use 1 and 7).
            const float top = id == kNoiseGainMDpth ? 8.0f : info.maxValue;
            float v = std::uniform_real_distribution<float>(info.minValue, top)(mRng);
            if (info.unit == kAudioUnitParameterUnit_Indexed) v = std::round(v);
            call(AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, v, 0));
            remember("block %lld: set %u=%.9g", mBlock, unsigned(id), double(v));
        }
        if (mRng() % 20000 == 0) {  // about every 30 s
            const AUPreset preset{SInt32(mRng() % kNumFactoryPresets), nullptr};
            call(AudioUnitSetProperty(mUnit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &preset,
                                      sizeof preset));
            remember("block %lld: preset %d", mBlock, int(preset.presetNumber));
        }
        ++mBlock;
        return failures;
    }

    // The last events, oldest first, to reproduce a failure.
    std::string recent() const {
        std::string out;
        for (size_t i = 0; i < kRecent; ++i)
            if (const std::string& line = mRecent[(mNext + i) % kRecent]; !line.empty()) out += "  " + line + "\n";
        return out;
    }

    void allNotesOff() {
        MusicDeviceMIDIEvent(mUnit, 0xB0, 123, 0, 0);
        mHeld.clear();
    }

private:
    static constexpr size_t kRecent = 40;
    void remember(const char* format, long long block, auto... values) {
        char line[96];
        std::snprintf(line, sizeof line, format, block, values...);
        mRecent[mNext] = line;
        mNext = (mNext + 1) % kRecent;
    }

    AudioUnit mUnit;
    std::mt19937 mRng;
    long long mBlock = 0;
    std::string mRecent[kRecent];
    size_t mNext = 0;
    std::vector<UInt8> mHeld;
    std::vector<AudioUnitParameterID> mParams;
};

// Peak resident memory (KiB) of `velmora render` writing `seconds` of a song, a
// note every two seconds, to a file in `folder`; the file is removed. -1 on failure.
long velmoraRenderPeakKiB(const std::filesystem::path& folder, double seconds, double rate) {
    std::vector<MidiEvent> events;
    for (double t = 0; t + 1 < seconds; t += 2) {
        const auto key = std::uint8_t(48 + long(t / 2) % 24);
        events.push_back({t, 0x90, key, 100});
        events.push_back({t + 1, 0x80, key, 0});
    }
    const std::vector<std::byte> bytes = writeSmf(events);
    const std::filesystem::path song = folder / "song.mid", out = folder / "render.wav";
    std::ofstream(song, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    const std::string rateText = std::to_string(long(rate));
    const char* argv[] = {VELMORA_BINARY, "render", song.c_str(), out.c_str(), "--rate", rateText.c_str(), nullptr};
    pid_t pid = 0;
    std::fflush(stdout);  // our lines before the child's
    if (posix_spawn(&pid, VELMORA_BINARY, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
    int status = 0;
    rusage usage{};
    const bool waited = wait4(pid, &status, 0, &usage) == pid;
    std::filesystem::remove(out);
    std::filesystem::remove(song);
    return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    AudioUnit unit = openInstrument(options.rate);
    if (!unit) {
        std::fprintf(stderr, "endurance: cannot open and initialize the instrument\n");
        return 1;
    }
    Performer performer(unit, options.seed, options.params);
    std::vector<float> left(kFrames), right(kFrames);
    float* const channels[2] = {left.data(), right.data()};
    RenderCall call;

    const long long calls = std::llround(options.seconds * options.rate / kFrames);
    const long long warmUp = std::min(calls / 10, std::llround(60 * options.rate / kFrames));
    long long nonFinite = 0, failures = 0, firstBad = -1;
    float peak = 0;
    std::string badSettings;
    long rssAfterWarmUp = 0, heapAfterWarmUp = 0, rssPeak = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long long c = 0; c < calls; ++c) {
        failures += performer.beforeBlock();
        failures += call.render(unit, double(c) * kFrames, kFrames, channels) != noErr;
        for (UInt32 i = 0; i < kFrames; ++i) {
            const float s = left[i];
            if (!std::isfinite(s) || std::fabs(s) > kBound || right[i] != s) {
                if (firstBad < 0) {
                    firstBad = c * kFrames + i;
                    badSettings = settings(unit) + "\nthe events before it (each before the render of its block):\n" +
                                  performer.recent();
                }
                nonFinite += !std::isfinite(s);
            }
            if (std::isfinite(s)) peak = std::max(peak, std::fabs(s));
        }
        if (c == warmUp) {
            rssAfterWarmUp = residentKiB();
            heapAfterWarmUp = heapInUseBytes();
        }
        if (c % 65536 == 0) rssPeak = std::max(rssPeak, residentKiB());
    }
    // Everything released: the voice must come to rest.
    performer.allNotesOff();
    bool idle = false;
    for (int c = 0; c < int(40 * options.rate / kFrames) && !idle; ++c) {
        call.render(unit, double(calls + c) * kFrames, kFrames, channels);
        idle = std::all_of(left.begin(), left.end(), [](float s) { return s == 0.0f; });
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long rssEnd = residentKiB(), heapEnd = heapInUseBytes();
    CloseComponent(unit);

    const double audio = double(calls) * kFrames / options.rate;
    std::printf("rendered %.0f s of audio in %.1f s (%.0fx realtime), seed %u\n", audio, wall, audio / wall,
                options.seed);
    std::printf("peak %.4f (bound %.0f), non-finite samples %lld, failed calls %lld\n", double(peak), double(kBound),
                nonFinite, failures);
    std::printf("resident %ld KiB after warm-up, %ld KiB at the end (largest seen %ld KiB)\n", rssAfterWarmUp, rssEnd,
                rssPeak);
    std::printf("heap in use %ld bytes after warm-up, %ld bytes at the end\n", heapAfterWarmUp, heapEnd);
    std::printf("voice at rest after all notes off: %s\n", idle ? "yes" : "no");

    std::string folderTemplate = (std::filesystem::temp_directory_path() / "velmora-endurance-XXXXXX").string();
    const char* folder = mkdtemp(folderTemplate.data());
    const long renderPeak = folder ? velmoraRenderPeakKiB(folder, options.seconds, options.rate) : -1;
    const long minutePeak = folder ? velmoraRenderPeakKiB(folder, 60, options.rate) : -1;
    if (folder) std::filesystem::remove_all(folder);
    std::printf("velmora render to a file: peak resident %ld KiB for %.0f s of audio, %ld KiB for 60 s\n", renderPeak,
                options.seconds, minutePeak);

    bool ok = true;
    auto fail = [&](const char* what) {
        std::printf("FAILED: %s\n", what);
        ok = false;
    };
    if (firstBad >= 0) {
        std::printf("first bad sample at frame %lld (%.3f s); the parameters then:\n", firstBad,
                    double(firstBad) / options.rate);
        std::printf("%s\n", badSettings.c_str());
        fail("output not finite, not bounded or channels differ");
    }
    if (failures) fail("host calls failed");
    // A few pages of slack for the C library's own bookkeeping; a leak of even
    // one allocation per second would exceed it within the hour.
    if (heapEnd > heapAfterWarmUp + 64 * 1024) fail("the heap grew");
    if (rssEnd > rssAfterWarmUp + 1024) fail("resident memory grew");
    if (!idle) fail("the voice did not come to rest");
    // Only the song's events grow with its length: a few bytes a note.
    if (renderPeak < 0 || minutePeak < 0)
        fail("velmora render failed");
    else if (renderPeak > minutePeak + 2048)
        fail("velmora render's memory grew with the length of the song");
    if (ok) std::printf("endurance: ok\n");
    return ok ? 0 : 1;
}
