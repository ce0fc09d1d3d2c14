// `velmora play`: the computer keyboard's notes; the live player against the
// song renderer; and the program on a JACK dummy server of the test's own,
// played by a sender client and heard by a recorder client: bit for bit what
// `velmora render` writes, a program change, Ctrl+C with --save, its errors, and
// (on a virtual X server) notes from the keyboard while the panel has the focus.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names would meet.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/WindowManager.h"
#include "Binding/VelmoraEntry.h"
#include "ComputerKeyboard.h"
#include "Host/HostedInstrument.h"
#include "Host/Smf.h"
#include "Host/SongRenderer.h"
#include "LivePlayer.h"
#include "Platform/Log.h"
#include "StateFile.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

template <class F>
bool waitFor(F condition, std::chrono::milliseconds limit = 10s) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("velmora-play-" + std::to_string(getpid()) + "-" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

// A program run with its standard output and error in files.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& dir, const std::string& tag) {
        out = dir / (tag + ".out");
        err = dir / (tag + ".err");
        mPid = fork();
        if (mPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a test that dies
            // No terminal on any of the three, as when started from a desktop's menu.
            if (!freopen("/dev/null", "r", stdin) || !freopen(out.c_str(), "w", stdout) ||
                !freopen(err.c_str(), "w", stderr))
                _exit(126);
            std::vector<char*> argv;
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (mPid > 0) kill(mPid, SIGKILL), waitpid(mPid, nullptr, 0);
    }
    // The exit status, -1 when it did not end in time (it is then killed), -2 for a signal.
    int wait(std::chrono::milliseconds limit = 10s) {
        int status = 0;
        if (!waitFor([&] { return waitpid(mPid, &status, WNOHANG) == mPid; }, limit)) return -1;
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }
    void signal(int number) { kill(mPid, number); }
    bool printed(const std::string& text, std::chrono::milliseconds limit = 10s) {
        return waitFor([&] { return readText(out).find(text) != std::string::npos; }, limit);
    }

    fs::path out, err;

private:
    pid_t mPid = -1;
};

int runVelmora(const std::vector<std::string>& args, const fs::path& dir) {
    std::vector<std::string> all{VELMORA_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    return Child(all, dir, "run").wait(60s);
}

void jackSilent(const char*) {}

// A dummy JACK server of the test's own, the default of every client the test starts.
class JackServer {
public:
    explicit JackServer(const fs::path& dir) {
        const std::string name = "velmora-test-" + std::to_string(getpid()) + "-" + std::to_string(sCount++);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        jack_set_error_function(jackSilent);
        jack_set_info_function(jackSilent);
        mServer = std::make_unique<Child>(std::vector<std::string>{JACKD, "-S", "--no-realtime", "-t", "10000", "-n",
                                                                   name, "-d", "dummy", "-r", "48000", "-p", "256"},
                                          dir, "jackd");
        ready = waitFor([] {
            jack_client_t* probe = jack_client_open("probe", JackNoStartServer, nullptr);
            if (probe) jack_client_close(probe);
            return probe != nullptr;
        });
    }
    ~JackServer() {
        mServer->signal(SIGTERM);
        mServer->wait(5s);
    }
    bool ready = false;

private:
    static inline int sCount = 0;
    std::unique_ptr<Child> mServer;
};

// A JACK client of the test: one process, one client per object.
class TestClient {
public:
    explicit TestClient(const char* name) { client = jack_client_open(name, JackNoStartServer, nullptr); }
    virtual ~TestClient() { close(); }
    // Derived clients close first: their callback must not run on a half-destroyed object.
    void close() {
        if (client) jack_client_close(client);
        client = nullptr;
    }
    bool activate() {
        return client && jack_set_process_callback(client, process, this) == 0 && jack_activate(client) == 0;
    }
    bool connected(const std::string& a, const std::string& b) {
        jack_port_t* port = jack_port_by_name(client, a.c_str());
        return port && jack_port_connected_to(port, b.c_str());
    }
    jack_client_t* client = nullptr;

protected:
    virtual void run(jack_nframes_t frames) = 0;

private:
    static int process(jack_nframes_t frames, void* arg) {
        static_cast<TestClient*>(arg)->run(frames);
        return 0;
    }
};

struct TimedMidi {
    jack_nframes_t frame;  // from the phrase's start
    std::vector<unsigned char> bytes;
};

// Sends a phrase from the start of the period after play(); counts frames in its own callback.
class Sender : public TestClient {
public:
    ~Sender() override { close(); }
    Sender() : TestClient("sender") {
        if (client) port = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    }
    void play(std::vector<TimedMidi> phrase) {
        mPhrase = std::move(phrase);
        mDone = false;
        mArmed = true;
    }
    bool done() const { return mDone; }
    jack_nframes_t start() const { return mStart; }
    bool late = false;  // a period went missing while the phrase played

private:
    void run(jack_nframes_t frames) override {
        void* buffer = jack_port_get_buffer(port, frames);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t now = jack_last_frame_time(client);
        if (mArmed.exchange(false)) {
            mStart = now;
            mNext = 0;
            mPlaying = true;
        }
        if (!mPlaying) return;
        for (; mNext < mPhrase.size() && mStart + mPhrase[mNext].frame < now + frames; ++mNext) {
            const jack_nframes_t at = mStart + mPhrase[mNext].frame;
            late = late || at < now;
            jack_midi_event_write(buffer, at < now ? 0 : at - now, mPhrase[mNext].bytes.data(),
                                  mPhrase[mNext].bytes.size());
        }
        if (mNext == mPhrase.size()) mPlaying = false, mDone = true;
    }

    jack_port_t* port = nullptr;
    std::vector<TimedMidi> mPhrase;
    std::atomic<bool> mArmed{false}, mDone{false};
    std::atomic<jack_nframes_t> mStart{0};
    bool mPlaying = false;
    size_t mNext = 0;
};

// Records both inputs from record() on, with the frame time of its first frame.
class Recorder : public TestClient {
public:
    ~Recorder() override { close(); }
    Recorder() : TestClient("recorder"), left(kCapacity), right(kCapacity) {
        if (client) {
            in[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            in[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        }
    }
    void record() { mRecording = true; }
    size_t frames() const { return mWritten.load(std::memory_order_acquire); }
    jack_nframes_t first() const { return mFirst; }
    // The largest magnitude of the last `count` frames recorded.
    float recentPeak(size_t count) const {
        const size_t end = frames(), begin = end > count ? end - count : 0;
        float peak = 0;
        for (size_t i = begin; i < end; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        return peak;
    }

    static constexpr size_t kCapacity = 48000 * 20;
    std::vector<float> left, right;
    std::atomic<bool> gap{false};  // a period went missing

private:
    void run(jack_nframes_t frames) override {
        if (!mRecording) return;
        const jack_nframes_t now = jack_last_frame_time(client);
        const size_t written = mWritten.load(std::memory_order_relaxed);
        if (written == 0)
            mFirst = now;
        else if (now != mFirst + written)
            gap = true;
        const size_t n = std::min<size_t>(frames, kCapacity - written);
        const auto* a = static_cast<const float*>(jack_port_get_buffer(in[0], frames));
        const auto* b = static_cast<const float*>(jack_port_get_buffer(in[1], frames));
        std::copy(a, a + n, left.begin() + long(written));
        std::copy(b, b + n, right.begin() + long(written));
        mWritten.store(written + n, std::memory_order_release);
    }

    jack_port_t* in[2] = {nullptr, nullptr};
    std::atomic<bool> mRecording{false};
    std::atomic<size_t> mWritten{0};
    std::atomic<jack_nframes_t> mFirst{0};
};

// The phrase at 48 kHz: 480 ticks per beat at 120 bpm makes every tick 50 frames,
// so that the song file holds each frame exactly; the events sit at every offset
// in their 64-frame steps, and one note is shorter than a step.
const std::vector<TimedMidi> kPhrase = {
    {0, {0x90, 48, 100}},   {4800, {0xB0, 1, 64}},   {9650, {0xE0, 0, 80}},  {12000, {0x90, 55, 90}},
    {12050, {0x80, 48, 0}}, {20000, {0xD0, 70}},     {24000, {0x90, 55, 0}}, {30000, {0x90, 60, 127}},
    {30050, {0x80, 60, 0}}, {36000, {0x90, 67, 64}}, {50000, {0x80, 67, 0}}, {50000, {0xE0, 0, 64}},
};
constexpr jack_nframes_t kPhraseFrames = 72000;

fs::path writeSong(const std::vector<TimedMidi>& phrase, const fs::path& path) {
    std::vector<MidiEvent> events;
    for (const TimedMidi& m : phrase)
        events.push_back({m.frame / 48000.0, m.bytes[0], m.bytes[1], UInt8(m.bytes.size() > 2 ? m.bytes[2] : 0)});
    const auto bytes = writeSmf(events);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::vector<float> readWav(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> samples(size_t(info.frames * info.channels));
    sf_readf_float(f, samples.data(), info.frames);
    sf_close(f);
    return samples;
}

// The saved state and that of a fresh instance given `preset`, as XML.
std::pair<std::string, std::string> savedAndPreset(const fs::path& saved, SInt32 preset) {
    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    HostedInstrument loaded(kVelmoraDescription), fresh(kVelmoraDescription);
    loaded.configure(48000, 2, 64);
    fresh.configure(48000, 2, 64);
    loadStateFile(loaded, saved);
    fresh.selectPreset(preset);
    CFPropertyListRef a = loaded.saveState(), b = fresh.saveState();
    std::pair<std::string, std::string> xml{stateToXml(a), stateToXml(b)};
    CFRelease(a);
    CFRelease(b);
    return xml;
}

}  // namespace

// ---- the computer keyboard, without a window

TEST(ComputerKeyboard, TwoTrackerRowsByKeycodeWithOctaveAndVelocity) {
    ComputerKeyboard k;
    // Z S X D C V G B H N J M, then Q 2 W 3 E R 5 T 6 Y 7 U: chromatic from the lower row's C.
    const unsigned rows[24] = {52, 39, 53, 40, 54, 55, 42, 56, 43, 57, 44, 58,
                               24, 11, 25, 12, 26, 27, 14, 28, 15, 29, 16, 30};
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(k.key(rows[i], 0, true), (std::vector<KeyboardNote>{{0x90, UInt8(48 + i), 100}})) << i;
        EXPECT_EQ(k.key(rows[i], 0, false), (std::vector<KeyboardNote>{{0x80, UInt8(48 + i), 0}})) << i;
    }
    EXPECT_EQ(k.describe(), "C3, velocity 100");
    // Keys that play nothing: space, A (beside Z), a keycode no keyboard has.
    for (unsigned code : {65u, 38u, 300u}) EXPECT_TRUE(k.key(code, 0, true).empty()) << code;

    // A held key that repeats plays once; its release sends the note it started,
    // also after the octave moved meanwhile.
    EXPECT_EQ(k.key(52, 0, true).size(), 1u);
    EXPECT_TRUE(k.key(52, 0, true).empty());
    EXPECT_TRUE(k.key(0, XK_Right, true).empty());
    EXPECT_EQ(k.key(52, 0, false), (std::vector<KeyboardNote>{{0x80, 48, 0}}));
    EXPECT_TRUE(k.key(52, 0, false).empty());
    EXPECT_EQ(k.key(52, 0, true), (std::vector<KeyboardNote>{{0x90, 60, 100}}));
    EXPECT_EQ(k.describe(), "C4, velocity 100");

    // Octaves stop at C1 and C7; the velocity moves by 16 within 1..127.
    for (int i = 0; i < 10; ++i) k.key(0, XK_Left, true);
    EXPECT_EQ(k.lowerC(), 24);
    for (int i = 0; i < 10; ++i) k.key(0, XK_Right, true);
    EXPECT_EQ(k.lowerC(), 96);
    k.key(0, XK_Up, true);
    EXPECT_EQ(k.velocity(), 116);
    k.key(0, XK_Up, true);
    EXPECT_EQ(k.velocity(), 127);
    for (int i = 0; i < 10; ++i) k.key(0, XK_Down, true);
    EXPECT_EQ(k.velocity(), 1);
    EXPECT_EQ(k.key(24, 0, true), (std::vector<KeyboardNote>{{0x90, 108, 1}}));

    // Losing the focus releases every held key, once.
    EXPECT_EQ(k.releaseAll(), (std::vector<KeyboardNote>{{0x80, 108, 0}, {0x80, 60, 0}}));
    EXPECT_TRUE(k.releaseAll().empty());
    EXPECT_TRUE(k.key(52, 0, false).empty());
}

// ---- the live player, without JACK

TEST(LivePlayer, PlaysWhatTheSongRendererPlaysInPeriodsOfWholeSteps) {
    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    constexpr jack_nframes_t kFrames = 9600;
    const jack_nframes_t periods[] = {256, 64, 1024, 128};
    // The computer keyboard's note goes in at the first period start from frame 2900.
    jack_nframes_t keyboardFrame = 0;
    for (jack_nframes_t t = 0, i = 0; keyboardFrame == 0; t += periods[i++ % 4])
        if (t >= 2900) keyboardFrame = t;

    const std::vector<TimedMidi> phrase = {{0, {0x90, 48, 100}},   {70, {0xB0, 1, 90}},     {131, {0xE0, 5, 70}},
                                           {1000, {0x90, 52, 80}}, {1001, {0x80, 48, 0}},   {2049, {0xD0, 30}},
                                           {4100, {0x80, 52, 0}},  {6000, {0x90, 40, 127}}, {6063, {0x80, 40, 0}},
                                           {7777, {0x90, 41, 60}}};
    MidiSong song;
    for (const TimedMidi& m : phrase)
        song.events.push_back({m.frame / 48000.0, m.bytes[0], m.bytes[1], UInt8(m.bytes.size() > 2 ? m.bytes[2] : 0)});
    song.events.push_back({keyboardFrame / 48000.0, 0x90, 67, 100});
    std::stable_sort(song.events.begin(), song.events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.seconds < b.seconds; });
    HostedInstrument reference(kVelmoraDescription);
    reference.configure(48000, 2, 64);
    RenderOptions options;
    options.sampleRate = 48000;
    options.frames = kFrames;
    std::vector<float> expected;
    renderSong(reference, song, options,
               [&](std::span<const float> s) { expected.insert(expected.end(), s.begin(), s.end()); });

    // The live stream also carries what the instrument must never see: a clock,
    // system exclusive, a note cut short, a data byte with its top bit, a program change.
    std::vector<LiveMidiEvent> live;
    for (const TimedMidi& m : phrase) {
        LiveMidiEvent e{m.frame, UInt32(m.bytes.size()), {}};
        std::copy(m.bytes.begin(), m.bytes.end(), e.bytes);
        live.push_back(e);
    }
    const LiveMidiEvent junk[] = {{5, 1, {0xF8}},
                                  {300, 6, {0xF0, 0x7E, 0x01}},
                                  {1000, 2, {0x90, 50}},
                                  {1500, 3, {0x90, 0x90, 1}},
                                  {3000, 2, {0xC0, 7}}};
    for (const LiveMidiEvent& e : junk)
        live.insert(std::upper_bound(live.begin(), live.end(), e.frame,
                                     [](UInt32 f, const LiveMidiEvent& x) { return f < x.frame; }),
                    e);

    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(48000, 2, 64);
    LivePlayer player(instrument.unit());
    std::vector<float> left(kFrames), right(kFrames);
    size_t next = 0;
    for (jack_nframes_t t = 0, i = 0; t < kFrames; t += periods[i++ % 4]) {
        const jack_nframes_t n = std::min(periods[i % 4], kFrames - t);
        if (t == keyboardFrame) player.post(0x90, 67, 100);
        std::vector<LiveMidiEvent> period;
        for (; next < live.size() && live[next].frame < t + n; ++next) {
            period.push_back(live[next]);
            period.back().frame -= t;
        }
        float* const outputs[2] = {left.data() + t, right.data() + t};
        player.process(period, n, outputs);
    }
    size_t differ = 0, first = kFrames;
    for (size_t i = 0; i < kFrames; ++i)
        if (left[i] != expected[2 * i] || right[i] != expected[2 * i + 1]) differ++, first = std::min(first, i);
    EXPECT_EQ(differ, 0u) << "first at frame " << first;
    UInt8 program = 0;
    EXPECT_TRUE(player.takeProgramChange(program));
    EXPECT_EQ(program, 7);
    EXPECT_FALSE(player.takeProgramChange(program));
    EXPECT_EQ(player.renderErrors(), 0);
}

// ---- the program, on a JACK server of the test's own

TEST(PlayJack, RecordsWhatRenderWritesFollowsProgramChangeAndSavesOnCtrlC) {
    TempDir dir;
    JackServer server(dir.path);
    ASSERT_TRUE(server.ready) << readText(dir.path / "jackd.err");
    Sender sender;
    Recorder recorder;
    ASSERT_TRUE(sender.activate() && recorder.activate());

    const fs::path saved = dir.path / "saved.aupreset";
    Child play({VELMORA_BINARY, "play", "--no-editor", "--connect", "sender:midi_out", "--connect", "recorder:in_1",
                "--connect", "recorder:in_2", "--save", saved.string()},
               dir.path, "play");
    ASSERT_TRUE(play.printed("playing as velmora at 48000 Hz")) << readText(play.err);
    EXPECT_TRUE(recorder.connected("recorder:in_2", "velmora:out_2"));

    recorder.record();
    ASSERT_TRUE(waitFor([&] { return recorder.frames() > 0; }));
    sender.play(kPhrase);
    ASSERT_TRUE(waitFor(
        [&] { return sender.done() && recorder.frames() >= size_t(sender.start() - recorder.first()) + kPhraseFrames; },
        30s));
    ASSERT_FALSE(sender.late || recorder.gap) << "the server skipped a period";

    ASSERT_EQ(
        runVelmora({"render", writeSong(kPhrase, dir.path / "phrase.mid").string(), (dir.path / "phrase.wav").string(),
                    "--rate", "48000", "--format", "float", "--frames", std::to_string(kPhraseFrames)},
                   dir.path),
        0);
    const std::vector<float> expected = readWav(dir.path / "phrase.wav");
    ASSERT_EQ(expected.size(), 2u * kPhraseFrames);
    const size_t offset = sender.start() - recorder.first();
    size_t differ = 0, first = kPhraseFrames;
    float peak = 0;
    for (size_t i = 0; i < kPhraseFrames; ++i) {
        const float l = recorder.left[offset + i], r = recorder.right[offset + i];
        peak = std::max(peak, std::fabs(l));
        if (l != expected[2 * i] || r != expected[2 * i + 1]) differ++, first = std::min(first, i);
    }
    EXPECT_GT(peak, 0.05f);
    EXPECT_EQ(differ, 0u) << "first at frame " << first << " of the phrase";

    // Program change 5: factory preset 5, on the panel's thread.
    sender.play({{0, {0xC5, 5}}});
    EXPECT_TRUE(play.printed("preset 5: ")) << readText(play.out);

    play.signal(SIGINT);
    EXPECT_EQ(play.wait(), 0) << readText(play.err);
    EXPECT_TRUE(play.printed(saved.string() + ": saved", 0ms));
    EXPECT_EQ(readText(play.err), "");
    ASSERT_TRUE(fs::exists(saved));
    const auto [savedXml, presetXml] = savedAndPreset(saved, 5);
    EXPECT_EQ(savedXml, presetXml);
}

TEST(PlayJack, ClearErrors) {
    TempDir dir;
    {
        // No server of that name.
        setenv("JACK_DEFAULT_SERVER", ("velmora-none-" + std::to_string(getpid())).c_str(), 1);
        Child play({VELMORA_BINARY, "play", "--no-editor"}, dir.path, "none");
        EXPECT_EQ(play.wait(), 1);
        EXPECT_EQ(readText(play.err), "velmora: no JACK server is running; start one, or run under pw-jack\n");
    }
    JackServer server(dir.path);
    ASSERT_TRUE(server.ready);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c : {Case{{"--no-editor", "--connect", "nobody:midi"}, "no JACK port 'nobody:midi'"},
                          Case{{"--no-editor", "--connect", "system:capture_1"},
                               "'system:capture_1' is neither a MIDI output nor an audio input"},
                          Case{{"--preset", "no such sound", "--no-editor"}, "no preset 'no such sound'"}}) {
        std::vector<std::string> args{VELMORA_BINARY, "play"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child play(args, dir.path, "error");
        EXPECT_NE(play.wait(), 0) << c.message;
        EXPECT_NE(readText(play.err).find(c.message), std::string::npos) << readText(play.err);
    }
    // Without a display, the window cannot open; nothing has played.
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    Child play({VELMORA_BINARY, "play"}, dir.path, "nodisplay");
    EXPECT_EQ(play.wait(), 1);
    EXPECT_NE(readText(play.err).find("cannot open the X display"), std::string::npos) << readText(play.err);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
}

// ---- the window, on a virtual X server (run under xvfb-run)

TEST(PlayWindow, KeysPlayWhileThePanelHasTheFocus) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    TempDir dir;
    JackServer server(dir.path);
    ASSERT_TRUE(server.ready);
    Recorder recorder;
    ASSERT_TRUE(recorder.activate());
    const fs::path saved = dir.path / "saved.aupreset";
    unsetenv("VELMORA_UI_SCALE");
    Child play(
        {VELMORA_BINARY, "play", "--connect", "recorder:in_1", "--connect", "recorder:in_2", "--save", saved.string()},
        dir.path, "play");
    ASSERT_TRUE(play.printed("playing as velmora")) << readText(play.err);

    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window w = 0;
    ASSERT_TRUE(waitFor([&] { return (w = findWindowNamed(d, "Velmora \u2014 keys C3, velocity 100")) != 0; }));
    XWindowAttributes attributes{};
    ASSERT_TRUE(waitFor([&] { return XGetWindowAttributes(d, w, &attributes) && attributes.map_state == IsViewable; }));
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    auto key = [&](KeyCode code, bool down) {
        XTestFakeKeyEvent(d, code, down, 0);
        XFlush(d);
    };

    // Right: an octave up, shown in the title.
    key(XKeysymToKeycode(d, XK_Right), true);
    key(XKeysymToKeycode(d, XK_Right), false);
    EXPECT_TRUE(waitFor([&] { return findWindowNamed(d, "Velmora \u2014 keys C4, velocity 100") != 0; }));

    recorder.record();
    key(52, true);  // Z: key 60
    EXPECT_TRUE(waitFor([&] { return recorder.recentPeak(4800) > 0.05f; }, 5s)) << "no note heard";
    // Losing the focus lets go of the held key: the voice falls silent.
    XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
    XFlush(d);
    EXPECT_TRUE(waitFor([&] { return recorder.recentPeak(4800) == 0.0f; }, 15s)) << "the note still sounds";
    key(52, false);
    XCloseDisplay(d);

    play.signal(SIGTERM);
    EXPECT_EQ(play.wait(), 0) << readText(play.err);
    EXPECT_TRUE(fs::exists(saved));
}

// Started from the menu with no JACK server: the reason shows in a window of its
// own as well as on standard error, and the program ends when it is closed.
TEST(PlayWindow, WithoutATerminalTheReasonShowsInAWindowUntilClosed) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    TempDir dir;
    setenv("JACK_DEFAULT_SERVER", ("velmora-none-" + std::to_string(getpid())).c_str(), 1);
    Child play({VELMORA_BINARY, "play"}, dir.path, "menu");
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window w = 0;
    ASSERT_TRUE(waitFor([&] { return (w = findWindowNamed(d, "Velmora")) != 0; })) << readText(play.err);
    XWindowAttributes a{};
    ASSERT_TRUE(waitFor([&] { return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable; }));
    EXPECT_EQ(readText(play.err), "velmora: no JACK server is running; start one, or run under pw-jack\n");

    // Words are drawn: a good share of the window is not its ground colour.
    long inked = 0;
    const bool drawn = waitFor([&] {
        XImage* image = XGetImage(d, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
        if (!image) return false;
        const unsigned long ground = XGetPixel(image, 1, 1);
        inked = 0;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x) inked += XGetPixel(image, x, y) != ground;
        XDestroyImage(image);
        return inked > 1000;
    });
    EXPECT_TRUE(drawn) << inked << " pixels drawn";
    EXPECT_EQ(play.wait(300ms), -1) << "ended before the window was closed";

    sendCloseRequest(d, w);
    EXPECT_EQ(play.wait(), 1);
    XCloseDisplay(d);
}
