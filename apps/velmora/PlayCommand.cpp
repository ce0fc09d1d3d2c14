// `velmora play`: the instrument as a JACK client, played from JACK MIDI and
// from the computer keyboard, with its panel. Lives beside `velmora edit` in the
// library loaded only for these commands, so that `velmora` links neither JACK
// nor X11.
#include <X11/keysym.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "ComputerKeyboard.h"
#include "Host/HostedInstrument.h"
#include "LivePlayer.h"
#include "MessageWindow.h"
#include "PanelWindow.h"
#include "PlatformUI/AUListener.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "SoundSession.h"
#include "StopSignals.h"

namespace {

struct PlayOptions : PanelOptions {
    bool editor = true, verbose = false;
    std::vector<std::string> connect;
};

PlayOptions parse(const std::vector<std::string>& args) {
    PlayOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (takePanelOption(args, i, o)) continue;
        if (a == "--connect")
            o.connect.push_back(optionValue(args, i));
        else if (a == "--no-editor")
            o.editor = false;
        else if (a == "--verbose")
            o.verbose = true;
        else
            throw std::invalid_argument("unknown option '" + a + "'");
    }
    checkPanelOptions(o);
    return o;
}

void jackSilent(const char*) {}
void jackToStderr(const char* line) { std::fprintf(stderr, "jack: %s\n", line); }

// The JACK side: the client, its ports and callbacks. The process callback only
// reads the ports into a fixed event array and hands them to the player.
class JackHost {
public:
    explicit JackHost(bool verbose) {
        jack_set_error_function(verbose ? jackToStderr : jackSilent);
        jack_set_info_function(verbose ? jackToStderr : jackSilent);
        jack_status_t status{};
        mClient = jack_client_open("velmora", JackNoStartServer, &status);
        if (!mClient) {
            if (status & (JackServerFailed | JackServerError))
                throw std::runtime_error("no JACK server is running; start one, or run under pw-jack");
            throw std::runtime_error("the JACK server refused the client (status " + std::to_string(int(status)) + ")");
        }
        mMidiIn = jack_port_register(mClient, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        mOut[0] = jack_port_register(mClient, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        mOut[1] = jack_port_register(mClient, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!mMidiIn || !mOut[0] || !mOut[1]) {
            jack_client_close(mClient);
            throw std::runtime_error("cannot register the JACK ports");
        }
        mRate = jack_get_sample_rate(mClient);
        mServerRate = mRate;
    }
    ~JackHost() {
        stop();
        jack_client_close(mClient);
    }
    JackHost(const JackHost&) = delete;
    JackHost& operator=(const JackHost&) = delete;

    jack_nframes_t sampleRate() const { return mRate; }
    std::string name() const { return jack_get_client_name(mClient); }

    // Checks every --connect port before anything plays: a MIDI output goes to
    // midi_in, audio inputs take out_1 and out_2 in order.
    void planConnections(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            jack_port_t* port = jack_port_by_name(mClient, name.c_str());
            if (!port) throw std::runtime_error("no JACK port '" + name + "' (jack_lsp lists them)");
            const bool midi = std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) == 0;
            const bool audio = std::strcmp(jack_port_type(port), JACK_DEFAULT_AUDIO_TYPE) == 0;
            const int flags = jack_port_flags(port);
            if (midi && (flags & JackPortIsOutput))
                mMidiSources.push_back(name);
            else if (audio && (flags & JackPortIsInput) && mAudioTargets.size() < 2)
                mAudioTargets.push_back(name);
            else if (audio && (flags & JackPortIsInput))
                throw std::runtime_error("more than two audio ports to connect ('" + name + "')");
            else
                throw std::runtime_error("'" + name + "' is neither a MIDI output nor an audio input");
        }
        mDefaultMidi = mMidiSources.empty();
        mDefaultAudio = mAudioTargets.empty();
    }

    void start(LivePlayer& player) {
        mPlayer = &player;
        jack_set_process_callback(mClient, process, this);
        jack_set_sample_rate_callback(mClient, rateChanged, this);
        jack_on_info_shutdown(mClient, serverGone, this);
        if (jack_activate(mClient) != 0) throw std::runtime_error("cannot activate the JACK client");
        // Without --connect: every physical MIDI source, the first two physical outputs.
        if (mDefaultMidi) mMidiSources = physicalPorts(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 64);
        if (mDefaultAudio) mAudioTargets = physicalPorts(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 2);
        const std::string self = name();
        for (const std::string& source : mMidiSources) connect(source, self + ":midi_in", !mDefaultMidi);
        for (size_t i = 0; i < mAudioTargets.size(); ++i)
            connect(self + ":out_" + std::to_string(i + 1), mAudioTargets[i], !mDefaultAudio);
    }
    // The audio thread no longer runs once this returns. A client whose server went away is only closed.
    void stop() {
        if (!mGone.load()) jack_deactivate(mClient);
    }

    bool gone() const { return mGone.load(); }
    std::string goneReason() const { return mGoneReason; }
    // The server's rate, when it differs from the one the instrument plays at.
    bool rateChange(jack_nframes_t& rate) {
        rate = mServerRate.load();
        if (rate == mRate || rate == 0) return false;
        mRate = rate;
        return true;
    }

private:
    std::vector<std::string> physicalPorts(const char* type, unsigned long flags, size_t most) {
        std::vector<std::string> names;
        if (const char** ports = jack_get_ports(mClient, nullptr, type, flags | JackPortIsPhysical)) {
            for (size_t i = 0; ports[i] && names.size() < most; ++i) names.emplace_back(ports[i]);
            jack_free(ports);
        }
        return names;
    }
    void connect(const std::string& from, const std::string& to, bool asked) {
        const int result = jack_connect(mClient, from.c_str(), to.c_str());
        if (result == 0 || result == EEXIST) return;
        if (asked) throw std::runtime_error("cannot connect " + from + " to " + to);
        std::fprintf(stderr, "velmora: warning: cannot connect %s to %s\n", from.c_str(), to.c_str());
    }

    // Audio thread: JACK calls only, then the player.
    static int process(jack_nframes_t frames, void* arg) {
        auto& self = *static_cast<JackHost*>(arg);
        void* midi = jack_port_get_buffer(self.mMidiIn, frames);
        float* const outputs[2] = {static_cast<float*>(jack_port_get_buffer(self.mOut[0], frames)),
                                   static_cast<float*>(jack_port_get_buffer(self.mOut[1], frames))};
        const uint32_t count = jack_midi_get_event_count(midi);
        size_t n = 0;
        for (uint32_t i = 0; i < count && n < self.mEvents.size(); ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, midi, i) != 0 || e.size == 0) continue;
            LiveMidiEvent& out = self.mEvents[n++];
            out.frame = e.time;
            out.size = UInt32(e.size);
            for (size_t b = 0; b < 3; ++b) out.bytes[b] = b < e.size ? e.buffer[b] : 0;
        }
        self.mPlayer->process({self.mEvents.data(), n}, frames, outputs);
        return 0;
    }
    static int rateChanged(jack_nframes_t rate, void* arg) {
        static_cast<JackHost*>(arg)->mServerRate.store(rate);
        wakeMainLoop();
        return 0;
    }
    static void serverGone(jack_status_t, const char* reason, void* arg) {
        auto& self = *static_cast<JackHost*>(arg);
        std::snprintf(self.mGoneReason, sizeof self.mGoneReason, "%s", reason ? reason : "");
        self.mGone.store(true);
        wakeMainLoop();
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mMidiIn = nullptr;
    jack_port_t* mOut[2] = {nullptr, nullptr};
    LivePlayer* mPlayer = nullptr;
    std::array<LiveMidiEvent, 1024> mEvents{};  // more in one period are dropped
    jack_nframes_t mRate = 0;
    std::atomic<jack_nframes_t> mServerRate{0};
    std::atomic<bool> mGone{false};
    char mGoneReason[256] = {};
    std::vector<std::string> mMidiSources, mAudioTargets;
    bool mDefaultMidi = true, mDefaultAudio = true;
};

// The main thread's side of a session: keys, program changes, the title.
struct Session {
    SoundSession& sound;
    LivePlayer& player;
    ComputerKeyboard keyboard;
    PanelWindow* panel = nullptr;
    bool saveRequested = false;

    // The sound, then the computer keyboard's octave and velocity.
    void showTitle() {
        if (panel) panel->setTitle(sound.title() + " \u2014 keys " + keyboard.describe());
    }
    void play(const std::vector<KeyboardNote>& notes) {
        for (const KeyboardNote& n : notes) player.post(n.status, n.key, n.velocity);
    }
    // The host's choice: program N selects factory preset N.
    void applyProgramChanges() {
        for (UInt8 program; player.takeProgramChange(program);) sound.selectPreset(program);
    }
};

void onKey(WindowRef, const WindowKeyEvent& event, void* user) {
    auto& session = *static_cast<Session*>(user);
    if (event.kind == WindowKeyEvent::focusLost) {
        session.play(session.keyboard.releaseAll());
        return;
    }
    const bool pressed = event.kind == WindowKeyEvent::press;
    if (pressed && (event.modifiers & cmdKey)) {
        if (event.keysym == XK_s || event.keysym == XK_S) session.saveRequested = true;
        return;
    }
    if (pressed && (event.keysym == XK_Next || event.keysym == XK_Prior)) {
        session.sound.stepPreset(event.keysym == XK_Next ? +1 : -1);
        return;
    }
    // Alt belongs to the panel's drags; releases always go through, so no note hangs.
    if (pressed && (event.modifiers & optionKey)) return;
    session.play(session.keyboard.key(event.keycode, event.keysym, pressed));
}

// Re-initialises the instrument at the server's new rate, off the audio thread;
// the sound survives it through the saved state.
void followRate(HostedInstrument& instrument, LivePlayer& player, jack_nframes_t rate) {
    player.pause();
    CFPropertyListRef state = instrument.saveState();
    AudioUnitUninitialize(instrument.unit());
    instrument.configure(double(rate), 2, LivePlayer::kStep);
    instrument.restoreState(state);
    CFRelease(state);
    player.resume();
    notifyAllParameters(instrument);
    std::printf("the JACK server now runs at %u Hz\n", unsigned(rate));
}

int play(const PlayOptions& o) {
    usePanelKnobMode(o);
    catchStopSignals();
    JackHost jack(o.verbose);
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(double(jack.sampleRate()), 2, LivePlayer::kStep);
    applyPresetAndState(instrument, o.preset, o.state);
    jack.planConnections(o.connect);
    LivePlayer player(instrument.unit());
    SoundSession sound(instrument, o.save);
    sound.opened(o.preset, o.state);
    Session session{sound, player, {}};
    std::unique_ptr<PanelWindow> panel;
    if (o.editor) {
        panel = std::make_unique<PanelWindow>(instrument.unit(), sound.title().c_str(), o, false,
                                              "--no-editor plays without a window");
        session.panel = panel.get();
        session.showTitle();
        SetWindowKeyEventHandler(panel->window(), onKey, &session);
    }
    jack.start(player);
    // Whatever ends the session, the audio thread stops before the player and the instrument go.
    struct StopFirst {
        JackHost& jack;
        ~StopFirst() { jack.stop(); }
    } stopFirst{jack};
    std::printf("playing as %s at %u Hz; Ctrl+C ends%s\n", jack.name().c_str(), unsigned(jack.sampleRate()),
                o.save.empty() ? "" : (" and saves to " + o.save).c_str());
    std::fflush(stdout);

    int result = 0;
    while (!stopRequested() && !(panel && IsWindowCloseRequested(panel->window()))) {
        // Program changes come from the audio thread without a wake-up: a short wait keeps them prompt.
        if (panel) {
            RunLoopRunFor(CFRunLoopGetCurrent(), 0.02);
        } else {
            pollfd fd{wakeFd(), POLLIN, 0};
            poll(&fd, 1, 20);
        }
        drainWakeFd();
        if (jack.gone()) {
            std::fprintf(stderr, "velmora: the JACK server went away (%s)\n", jack.goneReason().c_str());
            result = 1;
            break;
        }
        if (jack_nframes_t rate; jack.rateChange(rate)) followRate(instrument, player, rate);
        session.applyProgramChanges();
        if (session.saveRequested) sound.save();
        session.saveRequested = false;
        session.showTitle();
    }
    jack.stop();
    if (player.renderErrors() > 0)
        std::fprintf(stderr, "velmora: %ld render calls failed and played silence\n", player.renderErrors());
    panel.reset();
    return sound.finish() ? result : 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int VelmoraPlayCommand(const std::vector<std::string>* args) {
    return runPanelCommand(
        "play", [&] { return play(parse(*args)); },
        [&](const char* why) {
            // Started from the menu, nobody reads standard error: the reason in a window too.
            if (!hasTerminal() && std::find(args->begin(), args->end(), "--no-editor") == args->end())
                showMessageWindow("Velmora", "Velmora cannot play", why);
        });
}
