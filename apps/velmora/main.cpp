// velmora: the command-line host: renders MIDI songs with the instrument, lists
// its presets and parameters, and opens its panel (`edit`) or plays it live (`play`).
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AudioFile.h"
#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "Host/SongRenderer.h"
#include "Loudness.h"
#include "OutputFile.h"
#include "Platform/Log.h"
#include "Platform/ThreadClock.h"
#include "PresetMeasure.h"
#include "PresetSweep.h"
#include "ProgramFolders.h"
#include "StateFile.h"
#include "Usage.h"
#include "VelmoraCommit.h"
#include "VelmoraVersion.h"

namespace {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void logToStderr(const char* line) { std::fputs(line, stderr); }

double parseNumber(const std::string& text, const std::string& what) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || !std::isfinite(v)) throw UsageError("bad " + what + ": '" + text + "'");
    return v;
}

long long parseWhole(const std::string& text, const std::string& what, long long low, long long high) {
    const double v = parseNumber(text, what);
    if (v != std::floor(v) || v < double(low) || v > double(high))
        throw UsageError("bad " + what + ": '" + text + "' (a whole number " + std::to_string(low) + ".." +
                         std::to_string(high) + ")");
    return (long long)v;
}

// "NAME|ID=VALUE": the value may also be one of the parameter's value names.
std::pair<AudioUnitParameterID, float> parseSetting(HostedInstrument& instrument, const std::string& text) {
    const auto eq = text.rfind('=');
    if (eq == std::string::npos) throw UsageError("bad setting '" + text + "' (NAME|ID=VALUE)");
    const std::string name = text.substr(0, eq), value = text.substr(eq + 1);
    const auto id = instrument.findParameter(name);
    if (!id) throw UsageError("unknown parameter '" + name + "' (see: velmora params)");
    const auto& description = instrument.parameters()[*id];
    for (size_t i = 0; i < description.valueNames.size(); ++i)
        if (description.valueNames[i] == value) return {*id, float(i)};
    return {*id, float(parseNumber(value, "value for '" + name + "'"))};
}

struct SetupOptions {
    std::string preset, stateFile;
    std::vector<std::string> settings;
};

// Preset, then state file, then settings in command-line order.
void applySetup(HostedInstrument& instrument, const SetupOptions& setup) {
    if (!setup.preset.empty()) {
        const auto number = instrument.findPreset(setup.preset);
        if (!number) throw UsageError("unknown preset '" + setup.preset + "' (see: velmora presets)");
        instrument.selectPreset(*number);
    }
    if (!setup.stateFile.empty()) loadStateFile(instrument, setup.stateFile);
    for (const std::string& s : setup.settings) {
        const auto [id, value] = parseSetting(instrument, s);
        instrument.setParameter(id, value);
    }
}

// Takes the value of an option that needs one.
std::string optionValue(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
    return args[++i];
}

bool parseSetupOption(const std::vector<std::string>& args, size_t& i, SetupOptions& setup) {
    if (args[i] == "--preset")
        setup.preset = optionValue(args, i);
    else if (args[i] == "--state")
        setup.stateFile = optionValue(args, i);
    else if (args[i] == "--set")
        setup.settings.push_back(optionValue(args, i));
    else
        return false;
    return true;
}

// "90", "90s", "15m", "36h": seconds.
double parseDuration(const std::string& text, const std::string& what) {
    const char unit = text.empty() ? 0 : text.back();
    const double scale = unit == 'h' ? 3600 : unit == 'm' ? 60 : 1;
    const double v =
        parseNumber(unit == 'h' || unit == 'm' || unit == 's' ? text.substr(0, text.size() - 1) : text, what) * scale;
    if (!(v > 0)) throw UsageError("bad " + what + ": '" + text + "' (a positive number of seconds, or with m or h)");
    return v;
}

std::string describeSeconds(double seconds) {
    struct Unit {
        double seconds;
        const char* name;
    };
    static const Unit units[] = {{365.25 * 86400, "years"}, {86400, "days"}, {3600, "hours"}, {60, "minutes"}};
    char text[64];
    for (const Unit& u : units)
        if (seconds >= 2 * u.seconds) {
            std::snprintf(text, sizeof text, "%.1f %s", seconds / u.seconds, u.name);
            return text;
        }
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// Renders beyond a day are almost always a mistake in the song (one huge delta time)
// or the options; they are refused before anything is written unless asked for.
constexpr double kDefaultMaxSeconds = 24 * 3600;

void checkLength(const MidiSong& song, const RenderOptions& options, double maxSeconds, bool maxGiven) {
    const long long frames = maxRenderFrames(song, options);
    if (!maxGiven && options.frames >= 0) return;
    const double seconds = double(frames) / options.sampleRate;
    if (seconds <= maxSeconds) return;
    const std::string length = options.frames >= 0
                                   ? "--frames asks for " + describeSeconds(seconds)
                                   : "the render could last " + describeSeconds(seconds) + " (the last event at " +
                                         describeSeconds(seconds - options.tailSeconds) + ", then up to " +
                                         describeSeconds(options.tailSeconds) + " of tail)";
    throw std::runtime_error(length + ", more than " +
                             (maxGiven ? "--max-length (" + describeSeconds(maxSeconds) + ")" : "24 hours") +
                             "; --max-length SECONDS allows a longer render, --frames N sets its length");
}

volatile sig_atomic_t gInterrupted = 0;
void onInterrupt(int) { gInterrupted = 1; }

// Ctrl-C stops the render through the normal error path, which removes a partial file.
void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void drawProgress(double fraction) {
    static int last = -1;
    const int percent = int(fraction * 100);
    if (percent == last) return;
    last = percent;
    const int width = 40, filled = percent * width / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", width - filled, "",
                 percent);
}

// The CPU time of the song's MIDI calls alone, on an instance that only receives them:
// --stats takes it off the time it read around the render calls, as the benchmark does.
double midiCallSeconds(const MidiSong& song, const RenderOptions& options, long long frames) {
    HostedInstrument probe(kVelmoraDescription);
    probe.configure(options.sampleRate, options.channels, options.blockFrames);
    const double start = threadCpuSeconds();
    for (const MidiEvent& e : song.events)
        if (e.seconds * options.sampleRate < double(frames)) probe.midi(e.status, e.data1, e.data2, 0);
    return threadCpuSeconds() - start;
}

int renderCommand(const std::vector<std::string>& args) {
    if (args.size() < 3) throw UsageError("render needs SONG.mid and OUT.wav (or .flac, .ogg)");
    const std::string songPath = args[1], outPath = args[2];
    SetupOptions setup;
    RenderOptions options;
    std::vector<std::string> automationTexts;
    SampleFormat format = SampleFormat::Pcm24;
    bool stats = false, force = false, maxGiven = false, strict = false;
    double maxSeconds = kDefaultMaxSeconds;
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (parseSetupOption(args, i, setup)) continue;
        if (a == "--rate")
            options.sampleRate = double(parseWhole(optionValue(args, i), "sample rate", 8000, 384000));
        else if (a == "--block")
            options.blockFrames = UInt32(parseWhole(optionValue(args, i), "block size", 1, 65536));
        else if (a == "--channels")
            options.channels = UInt32(parseWhole(optionValue(args, i), "channel count", 1, 2));
        else if (a == "--frames")
            options.frames = parseWhole(optionValue(args, i), "frame count", 0, 1LL << 40);
        else if (a == "--tail") {
            options.tailSeconds = parseNumber(optionValue(args, i), "tail");
            if (options.tailSeconds < 0 || options.tailSeconds > 3600) throw UsageError("bad tail (0..3600 seconds)");
        } else if (a == "--max-length") {
            maxSeconds = parseDuration(optionValue(args, i), "maximum length");
            maxGiven = true;
        } else if (a == "--format") {
            const std::string f = optionValue(args, i);
            if (f == "float")
                format = SampleFormat::Float;
            else if (f == "24")
                format = SampleFormat::Pcm24;
            else if (f == "16")
                format = SampleFormat::Pcm16;
            else
                throw UsageError("bad format '" + f + "' (float, 24 or 16)");
        } else if (a == "--at")
            automationTexts.push_back(optionValue(args, i));
        else if (a == "--stats")
            stats = true;
        else if (a == "--force")
            force = true;
        else if (a == "--strict")
            strict = true;
        else if (a != "--verbose")
            throw UsageError("unknown option '" + a + "'");
    }

    const MidiSong song = readSmfFile(songPath, strict ? SmfReading::Strict : SmfReading::Lenient);
    if (!song.cutShort.empty())
        std::fprintf(stderr, "velmora: warning: %s: %s; playing what comes before it (--strict refuses such files)\n",
                     songPath.c_str(), song.cutShort.c_str());
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(options.sampleRate, options.channels, options.blockFrames);
    applySetup(instrument, setup);
    for (const std::string& text : automationTexts) {
        const auto colon = text.find(':');
        if (colon == std::string::npos) throw UsageError("bad automation '" + text + "' (FRAME:NAME|ID=VALUE)");
        const long long frame = parseWhole(text.substr(0, colon), "automation frame", 0, 1LL << 40);
        const auto [id, value] = parseSetting(instrument, text.substr(colon + 1));
        options.automation.push_back({frame, id, value});
    }

    // Everything that can refuse the render runs before the output is opened.
    checkLength(song, options, maxSeconds, maxGiven);
    const OutputTarget target =
        checkOutput(outPath, OutputKind::Audio, {{songPath, "the song"}, {setup.stateFile, "the state file"}}, force);
    checkFreeSpace(target, audioBytes(maxRenderFrames(song, options), int(options.channels), format));

    catchInterrupts();
    const Container container = containerFor(outPath);
    AudioWriter writer(target, container, int(options.channels), int(options.sampleRate), format);
    LoudnessMeter loudness(int(options.channels), int(options.sampleRate));
    const bool showProgress = isatty(STDERR_FILENO);
    const RenderResult result = renderSong(
        instrument, song, options,
        [&](std::span<const float> samples) {
            if (gInterrupted)
                throw std::runtime_error(target.regularFile() ? "interrupted; " + target.name() + " not written"
                                                              : std::string("interrupted"));
            writer.write(samples);
            loudness.add(samples);
        },
        showProgress ? std::function<void(double)>(drawProgress) : nullptr);
    if (showProgress) std::fputs("\r\033[K", stderr);
    writer.finish();

    // With the audio on standard output, the words go to standard error.
    FILE* report = target.type == OutputTarget::Type::StandardOutput ? stderr : stdout;
    const double peakDb = result.peak > 0 ? 20 * std::log10(result.peak) : -INFINITY;
    std::fprintf(report, "%s: %.3f s, %lld frames, peak %.1f dBFS%s, loudness %.1f LUFS, true peak %.1f dBTP\n",
                 target.name().c_str(), double(result.frames) / options.sampleRate, result.frames, peakDb,
                 writer.rf64() ? ", RF64 (larger than a WAV file can be)" : "", loudness.integratedLufs(),
                 loudness.truePeakDb());
    // Vorbis keeps samples beyond full scale; the integer formats clip them.
    if (format != SampleFormat::Float && container != Container::Ogg && result.beyondFullScale > 0)
        std::fprintf(stderr,
                     "velmora: warning: %lld samples beyond full scale (peak %+.1f dBFS) were clipped in the %d-bit "
                     "output; --format float keeps them, or lower \"Volume\"\n",
                     result.beyondFullScale, peakDb, 8 * bytesPerSample(format));
    if (stats && result.frames > 0) {
        const double seconds = std::max(0.0, result.renderCpuSeconds - midiCallSeconds(song, options, result.frames));
        const double nsPerFrame = seconds * 1e9 / double(result.frames);
        std::fprintf(report, "render: %.2f ns per frame, %.0fx realtime\n", nsPerFrame,
                     1e9 / (nsPerFrame * options.sampleRate));
    }
    return 0;
}

int stateCommand(const std::vector<std::string>& args) {
    if (args.size() < 3 || args[1] != "save") throw UsageError("state needs: save OUT.aupreset");
    SetupOptions setup;
    bool force = false;
    for (size_t i = 3; i < args.size(); ++i) {
        if (parseSetupOption(args, i, setup) || args[i] == "--verbose") continue;
        if (args[i] != "--force") throw UsageError("unknown option '" + args[i] + "'");
        force = true;
    }
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    applySetup(instrument, setup);
    const OutputTarget target =
        checkOutput(args[2], OutputKind::PropertyList, {{setup.stateFile, "the state file"}}, force);
    saveStateFile(instrument, args[2]);
    std::fprintf(target.type == OutputTarget::Type::StandardOutput ? stderr : stdout, "%s: saved\n",
                 target.name().c_str());
    return 0;
}

// One row per preset: its worst true peak over the sweep's grid and the strike that reached it.
void printSweep(const std::vector<std::pair<SInt32, std::string>>& presets) {
    const SweepGrid grid = SweepGrid::full();
    const auto list = [](const std::vector<int>& values) {
        std::string text;
        for (int v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
        return text;
    };
    std::printf(
        "keys %d-%d in steps of 4, velocity %s, wheel %s, pressure %s, bend at rest and both ends;\n"
        "each struck %d times, held %.1f s: %zu strikes per preset\n",
        grid.keys.front(), grid.keys.back(), list(grid.velocities).c_str(), list(grid.wheels).c_str(),
        list(grid.pressures).c_str(), grid.strikes, grid.holdSeconds, grid.strikeCount());
    std::printf("%3s  %-24s %6s | worst at: %4s %4s %5s %5s %5s %6s | %s\n", "#", "preset", "dBTP", "key", "vel",
                "wheel", "press", "bend", "strike", "oversampled");
    const auto started = std::chrono::steady_clock::now();
    sweepPresets(kVelmoraDescription, presets, grid, std::thread::hardware_concurrency(),
                 [&](size_t i, const SweepFigures& f) {
                     const SweepPoint& w = f.worst;
                     const char* bend = w.bend == 8192 ? "0" : w.bend > 8192 ? "up" : "down";
                     std::printf("%3d  %-24s %6.1f | %14d %4d %5d %5d %5s %6d | %5.1f%%\n", presets[i].first,
                                 presets[i].second.c_str(), f.worstTruePeakDb, w.key, w.velocity, w.wheel, w.pressure,
                                 bend, w.strike, 100 * f.oversampledShare);
                     std::fflush(stdout);
                 });
    std::printf("swept %zu presets in %.0f s\n", presets.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// With --measure, one row per preset: what a musician switching presets hears and what the
// wheel does. The phrase is the audition file installed with the program unless --midi names
// another. With --sweep, each preset's highest true peak over a grid of keys, velocities and
// controllers instead.
int presetsCommand(const std::vector<std::string>& args) {
    bool measure = false, sweep = false, midiGiven = false;
    std::string midi = (programFolders().data / "audition.mid").string();
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--measure")
            measure = true;
        else if (args[i] == "--sweep")
            sweep = true;
        else if (args[i] == "--midi") {
            midi = optionValue(args, i);
            midiGiven = true;
        } else
            throw UsageError("unknown option '" + args[i] + "' for presets");
    }
    if (sweep && !measure) throw UsageError("--sweep goes with --measure");
    if (sweep && midiGiven) throw UsageError("--sweep plays its own grid, not --midi");
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    if (!measure) {
        for (auto& [number, name] : instrument.factoryPresets()) std::printf("%3d  %s\n", number, name.c_str());
        return 0;
    }
    if (sweep) {
        printSweep(instrument.factoryPresets());
        return 0;
    }
    const MidiSong phrase = readSmfFile(midi);
    std::printf("%3s  %-24s %6s %6s %7s | wheel held at 0, 127 | wheel 0 -> 127 on key 60: %6s %9s %13s %13s  %s\n",
                "#", "preset", "LUFS", "dBTP", "DC", "LU", "centroid", "level wobble", "bright wobble", "answers by");
    for (auto& [number, name] : instrument.factoryPresets()) {
        const PresetFigures f = measurePreset(kVelmoraDescription, number, phrase);
        const NoteFigures &low = f.wheel.front(), &high = f.wheel.back();
        const char* how = "";
        const bool answers = wheelAnswers(f, &how);
        std::printf(
            "%3d  %-24s %6.1f %6.1f %+7.4f | %11.1f %6.1f LUFS | %+32.1f %+8.0f%% %5.1f->%5.1fdB %5.0f->%5.0f%%  %s\n",
            number, name.c_str(), f.lufs, f.truePeakDb, f.worstDc, f.restLufs, f.wheelFullLufs, high.lufs - low.lufs,
            low.centroidHz > 0 ? 100 * (high.centroidHz / low.centroidHz - 1) : 0.0, low.levelSpreadDb,
            high.levelSpreadDb, 100 * low.brightnessSpread, 100 * high.brightnessSpread, answers ? how : "-");
        std::fflush(stdout);
    }
    return 0;
}

int paramsCommand() {
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    for (const ParameterDescription& p : instrument.parameters()) {
        std::printf("%3u  %-16s %7g .. %-7g default %g", p.id, p.name.c_str(), double(p.info.minValue),
                    double(p.info.maxValue), double(p.info.defaultValue));
        if (!p.valueNames.empty()) {
            std::printf("  [");
            for (size_t i = 0; i < p.valueNames.size(); ++i)
                std::printf("%s%zu %s", i ? ", " : "", i, p.valueNames[i].c_str());
            std::printf("]");
        }
        std::printf("\n");
    }
    return 0;
}

// `edit` and `play` live in a library beside the program, loaded only for them,
// so that the program itself links neither X11 nor JACK.
int libraryCommand(const std::vector<std::string>& args, const char* entry) {
    const std::string library = (programFolders().libraries / "libvelmora_edit.so").string();
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw std::runtime_error(std::string("the editor cannot be loaded: ") + dlerror());
    using Command = int (*)(const std::vector<std::string>*);
    auto command = reinterpret_cast<Command>(dlsym(handle, entry));
    if (!command) throw std::runtime_error(std::string("the editor library has no ") + entry);
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    return command(&rest);
}

// "velmora 1.2.0", with the commit when built from a checkout.
void printVersion() {
    const std::string commit = VELMORA_COMMIT;
    std::printf("velmora %s%s\n", VELMORA_VERSION, commit.empty() ? "" : (" (git " + commit + ")").c_str());
}

// `velmora help [COMMAND]`, `velmora COMMAND --help`: never loads the editor library.
int printHelp(const std::string& command) {
    if (command.empty()) {
        std::fputs(allUsage().c_str(), stdout);
        return 0;
    }
    const std::string usage = commandUsage(command);
    if (usage.empty()) throw UsageError("unknown command '" + command + "'");
    std::fputs(usage.c_str(), stdout);
    return 0;
}

bool asksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin() + 1, args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool verbose = false;
    for (const std::string& a : args) verbose = verbose || a == "--verbose";
    SetPlatformLogHook(verbose ? logToStderr : PlatformLogSilent);
    RegisterVelmora();
    try {
        if (args.empty()) {
            std::fputs(allUsage().c_str(), stderr);
            return 2;
        }
        if (args[0] == "--help" || args[0] == "-h") return printHelp("");
        if (args[0] == "--version") {
            printVersion();
            return 0;
        }
        if (args[0] == "help") return printHelp(args.size() < 2 ? "" : asksForHelp(args) ? "help" : args[1]);
        if (asksForHelp(args)) return printHelp(args[0]);
        if (args[0] == "render") return renderCommand(args);
        if (args[0] == "state") return stateCommand(args);
        if (args[0] == "edit") return libraryCommand(args, "VelmoraEditCommand");
        if (args[0] == "play") return libraryCommand(args, "VelmoraPlayCommand");
        if (args[0] == "presets") return presetsCommand(args);
        if (args[0] == "params") return paramsCommand();
        throw UsageError("unknown command '" + args[0] + "'");
    } catch (const UsageError& e) {
        // The command's own usage when there is one, else every command's.
        const std::string usage = commandUsage(args[0] == "help" ? "" : args[0]);
        std::fprintf(stderr, "velmora: %s\n%s", e.what(), usage.empty() ? allUsage().c_str() : usage.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s\n", e.what());
        return 1;
    }
}
