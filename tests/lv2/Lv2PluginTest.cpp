// The LV2 plug-in in a real host library (lilv): its description against the
// instrument, renders against `velmora render` bit for bit, presets and state
// through lilv, and bad input from a host.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>
#include <string>

#include "Lv2Host.h"
#include "Velmora/VelmoraPresets.h"
#include "plugins/lv2/PortSymbols.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kNoteOn = 0x90;

MidiSong pattern() { return readSmfFile(VELMORA_PATTERN); }

// `velmora render` of the pattern (a fresh instance) with extra arguments, as float samples.
Stereo reference(double rate, long long frames, const std::string& extra = "") {
    const fs::path out = fs::temp_directory_path() / ("velmora-lv2-" + std::to_string(::getpid()) + ".wav");
    const std::string command = std::string(VELMORA_BINARY) + " render " + VELMORA_PATTERN + " " + out.string() +
                                " --format float --rate " + std::to_string(int(rate)) + " --frames " +
                                std::to_string(frames) + " " + extra + " > /dev/null";
    Stereo s;
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "failed: " << command;
        return s;
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    if (f && info.channels == 2) {
        std::vector<float> interleaved(size_t(info.frames) * 2);
        sf_readf_float(f, interleaved.data(), info.frames);
        for (size_t i = 0; i < interleaved.size(); i += 2) {
            s.left.push_back(interleaved[i]);
            s.right.push_back(interleaved[i + 1]);
        }
    }
    if (f) sf_close(f);
    fs::remove(out);
    EXPECT_EQ(s.left.size(), size_t(frames)) << command;
    return s;
}

// Bit for bit; names the first frame that differs.
::testing::AssertionResult sameSamples(const Stereo& a, const Stereo& b) {
    if (a.left.size() != b.left.size() || a.right.size() != b.right.size())
        return ::testing::AssertionFailure() << "lengths " << a.left.size() << " and " << b.left.size();
    for (size_t i = 0; i < a.left.size(); ++i)
        if (std::memcmp(&a.left[i], &b.left[i], 4) != 0 || std::memcmp(&a.right[i], &b.right[i], 4) != 0)
            return ::testing::AssertionFailure() << "frame " << i << ": " << a.left[i] << " / " << a.right[i]
                                                 << " against " << b.left[i] << " / " << b.right[i];
    return ::testing::AssertionSuccess();
}

float peak(const std::vector<float>& v) {
    float p = 0;
    for (float x : v) p = std::max(p, std::fabs(x));
    return p;
}

std::string number(float v) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

class Lv2 : public ::testing::Test {
protected:
    UridMap urids;
    Lv2World world;
};

}  // namespace

TEST_F(Lv2, DescriptionFollowsTheInstrumentsTables) {
    ASSERT_NE(world.plugin, nullptr);
    const LilvPlugin* plugin = world.plugin;
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), kFirstParameterPort + kNumberOfParameters);

    // Frozen symbols: one per parameter, unique, valid.
    ASSERT_EQ(sizeof kPortSymbols / sizeof kPortSymbols[0], size_t(kNumberOfParameters));
    std::set<std::string> symbols;
    for (const char* s : kPortSymbols) {
        EXPECT_TRUE(symbols.insert(s).second) << s << " is used twice";
        EXPECT_TRUE(std::isalpha(UInt8(s[0])) &&
                    std::strspn(s, "abcdefghijklmnopqrstuvwxyz0123456789_") == std::strlen(s))
            << s;
    }

    LilvNode* input = lilv_new_uri(world.world, LV2_CORE__InputPort);
    LilvNode* output = lilv_new_uri(world.world, LV2_CORE__OutputPort);
    LilvNode* audio = lilv_new_uri(world.world, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(world.world, LV2_CORE__ControlPort);
    LilvNode* atomPort = lilv_new_uri(world.world, LV2_ATOM__AtomPort);
    LilvNode* midi = lilv_new_uri(world.world, LV2_MIDI__MidiEvent);
    LilvNode* integer = lilv_new_uri(world.world, LV2_CORE__integer);
    LilvNode* enumeration = lilv_new_uri(world.world, LV2_CORE__enumeration);
    const LilvPort* events = lilv_plugin_get_port_by_index(plugin, kMidiInPort);
    EXPECT_TRUE(lilv_port_is_a(plugin, events, input) && lilv_port_is_a(plugin, events, atomPort));
    EXPECT_TRUE(lilv_port_supports_event(plugin, events, midi));
    for (uint32_t c = 0; c < 2; ++c) {
        const LilvPort* out = lilv_plugin_get_port_by_index(plugin, kFirstAudioOutPort + c);
        EXPECT_TRUE(lilv_port_is_a(plugin, out, output) && lilv_port_is_a(plugin, out, audio));
    }
    for (uint32_t id = 0; id < kNumberOfParameters; ++id) {
        const AudioUnitParameterInfo& info = VelmoraParameterTable()[id];
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, kFirstParameterPort + id);
        ASSERT_TRUE(lilv_port_is_a(plugin, port, input) && lilv_port_is_a(plugin, port, control)) << id;
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), kPortSymbols[id]);
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_STREQ(lilv_node_as_string(name), info.name);
        lilv_node_free(name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        EXPECT_EQ(std::bit_cast<UInt32>(lilv_node_as_float(def)), std::bit_cast<UInt32>(info.defaultValue)) << id;
        EXPECT_EQ(lilv_node_as_float(min), info.minValue) << id;
        EXPECT_EQ(lilv_node_as_float(max), info.maxValue) << id;
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        const bool indexed = info.unit == kAudioUnitParameterUnit_Indexed;
        EXPECT_EQ(lilv_port_has_property(plugin, port, integer), indexed) << id;
        // A scale point for each value name inside the range, labelled with it.
        CFArrayRef names = CopyParameterValueStrings(id);
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        size_t expected = 0;
        for (CFIndex v = 0; names && v < CFArrayGetCount(names); ++v) {
            if (float(v) < info.minValue || float(v) > info.maxValue) continue;
            ++expected;
            bool found = false;
            if (points) {
                LILV_FOREACH(scale_points, i, points) {
                    const LilvScalePoint* p = lilv_scale_points_get(points, i);
                    found = found || (lilv_node_as_float(lilv_scale_point_get_value(p)) == float(v) &&
                                      std::string(lilv_node_as_string(lilv_scale_point_get_label(p))) ==
                                          CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, v))));
                }
            }
            EXPECT_TRUE(found) << "parameter " << id << " value " << v;
        }
        EXPECT_EQ(points ? lilv_scale_points_size(points) : 0u, expected) << id;
        EXPECT_EQ(lilv_port_has_property(plugin, port, enumeration), expected > 0) << id;
        lilv_scale_points_free(points);
        if (names) CFRelease(names);
    }
    for (LilvNode* n : {input, output, audio, control, atomPort, midi, integer, enumeration}) lilv_node_free(n);
}

TEST_F(Lv2, RendersLikeVelmoraRenderInAnyHostBlock) {
    const MidiSong song = pattern();
    for (double rate : {44100.0, 48000.0}) {
        const long long frames = std::llround(10.25 * rate);
        const Stereo expected = reference(rate, frames);
        const auto events = framedEvents(song, rate);
        for (uint32_t block : {64u, 512u, 4096u}) {
            Lv2Instance inst(world, urids, rate, block);
            ASSERT_NE(inst.instance, nullptr);
            EXPECT_TRUE(sameSamples(play(inst, events, block, frames), expected)) << rate << " Hz, blocks of " << block;
        }
        // A block that is no multiple of the slice moves events to other slices, but still plays.
        Lv2Instance inst(world, urids, rate, 1000);
        const Stereo odd = play(inst, events, 1000, frames);
        for (const auto* channel : {&odd.left, &odd.right})
            for (float x : *channel) ASSERT_TRUE(std::isfinite(x));
        EXPECT_GT(peak(odd.left), 0.5f * peak(expected.left));
        EXPECT_LT(peak(odd.left), 2.0f * peak(expected.left));
    }
}

TEST_F(Lv2, EveryPresetThroughLilvRendersLikeVelmoraRender) {
    const long long frames = 4 * 44100;
    const auto events = framedEvents(pattern(), 44100);
    std::vector<LilvState*> presets = world.presets(urids);
    ASSERT_EQ(presets.size(), 31u);
    for (size_t n = 0; n < presets.size(); ++n) {
        ASSERT_NE(presets[n], nullptr) << n;
        Lv2Instance inst(world, urids, 44100, 64);
        inst.restore(presets[n]);
        const std::string label = lilv_state_get_label(presets[n]);
        EXPECT_EQ(label, asEZ_preset[n].name);
        EXPECT_EQ(inst.savedName(), label) << n;
        for (uint32_t id = 0; id < kNumberOfParameters; ++id)
            ASSERT_EQ(std::bit_cast<UInt32>(inst.controls[id]), std::bit_cast<UInt32>(asEZ_preset[n].values[id]))
                << "preset " << n << " parameter " << id;
        EXPECT_TRUE(
            sameSamples(play(inst, events, 64, frames), reference(44100, frames, "--preset " + std::to_string(n))))
            << "preset " << n << " " << label;
        lilv_state_free(presets[n]);
    }
}

TEST_F(Lv2, StateRoundTripsThroughTurtleIntoAnotherInstance) {
    const long long frames = 3 * 44100;
    const auto events = framedEvents(pattern(), 44100);
    std::vector<LilvState*> presets = world.presets(urids);
    ASSERT_GT(presets.size(), 6u);

    Lv2Instance a(world, urids, 44100, 512);
    a.restore(presets[6]);
    a.controls[kVolume] = 70;
    a.controls[kFilterAFc] = 40.5f;
    a.controls[kLFO1Speed] = 12.25f;
    play(a, events, 512, 44100);  // played for a while: the state holds settings, not the voice
    LilvState* saved = a.save();
    ASSERT_NE(saved, nullptr);
    char* text = lilv_state_to_string(world.world, urids.feature(), urids.unmapFeature(), saved,
                                      "urn:velmora:test:state", nullptr);
    ASSERT_NE(text, nullptr);
    LilvState* loaded = lilv_state_new_from_string(world.world, urids.feature(), text);
    ASSERT_NE(loaded, nullptr) << text;

    Lv2Instance b(world, urids, 44100, 512);
    b.restore(loaded);
    EXPECT_EQ(b.savedName(), "dyna scream [MW]");
    for (uint32_t id = 0; id < kNumberOfParameters; ++id)
        EXPECT_EQ(std::bit_cast<UInt32>(b.controls[id]), std::bit_cast<UInt32>(a.controls[id])) << id;
    EXPECT_TRUE(sameSamples(play(b, events, 512, frames),
                            reference(44100, frames, "--preset 6 --set 0=70 --set 49=40.5 --set 79=12.25")));

    lilv_free(text);
    lilv_state_free(saved);
    lilv_state_free(loaded);
    for (LilvState* s : presets) lilv_state_free(s);
}

TEST_F(Lv2, StateKeyKeepsTheNameUnlessItIsAValidName) {
    Lv2Instance inst(world, urids, 44100, 64);
    auto* iface =
        static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(inst.instance, LV2_STATE__interface));
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(inst.savedName(), "default");
    struct Offer {
        const void* value;
        size_t size;
        uint32_t type;
    };
    auto restore = [&](Offer offer) {
        auto retrieve = [](LV2_State_Handle h, uint32_t, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
            auto* o = static_cast<Offer*>(h);
            *size = o->size;
            *type = o->type;
            *flags = LV2_STATE_IS_POD;
            return o->value;
        };
        return iface->restore(lilv_instance_get_handle(inst.instance), retrieve, &offer, 0, nullptr);
    };
    const LV2_URID string = urids.map(LV2_ATOM__String);
    EXPECT_EQ(restore({"caf\xc3\xa9 bass", 11, string}), LV2_STATE_SUCCESS);  // Latin-1 inside, UTF-8 outside
    EXPECT_EQ(inst.savedName(), "caf\xc3\xa9 bass");
    const int32_t number = 7;
    EXPECT_NE(restore({&number, sizeof number, urids.map(LV2_ATOM__Int)}), LV2_STATE_SUCCESS);
    const std::string tooLong(48, 'x');
    EXPECT_NE(restore({tooLong.c_str(), tooLong.size() + 1, string}), LV2_STATE_SUCCESS);
    EXPECT_NE(restore({"\xe2\x82\xac", 4, string}), LV2_STATE_SUCCESS);  // no Latin-1 code
    EXPECT_NE(restore({"\xc3", 2, string}), LV2_STATE_SUCCESS);          // cut short
    EXPECT_EQ(restore({nullptr, 0, 0}), LV2_STATE_SUCCESS);              // an empty state, as jalv restores at start
    EXPECT_EQ(inst.savedName(), "caf\xc3\xa9 bass");
    const std::string longest(47, 'y');
    EXPECT_EQ(restore({longest.c_str(), longest.size(), string}), LV2_STATE_SUCCESS);  // no terminator needed
    EXPECT_EQ(inst.savedName(), longest);
}

TEST_F(Lv2, EveryPortReachesTheSoundAtTheNextStep) {
    // Port N changes before host block 2 + N; `velmora render --at` writes it before the same slice.
    const uint32_t block = 512;
    const long long frames = (kNumberOfParameters + 8) * block;
    std::string at;
    std::vector<float> values(kNumberOfParameters);
    for (uint32_t id = 0; id < kNumberOfParameters; ++id) {
        const AudioUnitParameterInfo& info = VelmoraParameterTable()[id];
        float v = std::round((info.minValue + 0.375f * (info.maxValue - info.minValue)) * 4) / 4;
        if (v == info.defaultValue) v = info.maxValue;
        values[id] = v;
        at += " --at " + std::to_string((2 + id) * block) + ":" + std::to_string(id) + "=" + number(v);
    }
    Lv2Instance inst(world, urids, 44100, block);
    const Stereo played = play(inst, framedEvents(pattern(), 44100), block, frames, [&](long long start) {
        const long long id = start / block - 2;
        if (id >= 0 && id < kNumberOfParameters) inst.controls[id] = values[size_t(id)];
    });
    EXPECT_TRUE(sameSamples(played, reference(44100, frames, at)));
}

TEST_F(Lv2, BadControlValuesBehaveAsTheInstrumentTakesThem) {
    const long long frames = 3 * 44100;
    const auto events = framedEvents(pattern(), 44100);
    // NaN and infinities keep the value before them.
    {
        Lv2Instance inst(world, urids, 44100, 512);
        inst.controls[kFilterAFc] = 30;
        inst.controls[kVolume] = 70;
        const float inf = std::numeric_limits<float>::infinity();
        const Stereo played = play(inst, events, 512, frames, [&](long long start) {
            const long long b = start / 512;
            if (b == 10) inst.controls[kFilterAFc] = std::numeric_limits<float>::quiet_NaN();
            if (b == 20) inst.controls[kFilterAFc] = inf;
            if (b == 30) inst.controls[kFilterAFc] = -inf;
            if (b == 40) inst.controls[kFilterAFc] = 30;
            if (b == 50) inst.controls[kVolume] = -inf;
        });
        EXPECT_TRUE(sameSamples(played, reference(44100, frames, "--set 49=30 --set 0=70")));
    }
    // Values outside the ranges go to the instrument as `--set` gives them.
    {
        Lv2Instance inst(world, urids, 44100, 512);
        inst.controls[kFilterAFc] = 500;
        inst.controls[kFilterAType] = -3;
        inst.controls[kOSC1Wave] = 9;
        inst.controls[kVolume] = 150;
        inst.controls[kA1] = -20;
        EXPECT_TRUE(
            sameSamples(play(inst, events, 512, frames),
                        reference(44100, frames, "--set 49=500 --set 48=-3 --set 7=9 --set 0=150 --set 62=-20")));
    }
}

TEST_F(Lv2, MalformedEventsAndOddRunsChangeNothing) {
    const long long frames = 3 * 44100;
    const auto events = framedEvents(pattern(), 44100);
    const LV2_URID intType = urids.map(LV2_ATOM__Int);
    Lv2Instance inst(world, urids, 44100, 65536);
    std::vector<float> scratch(65536);
    std::vector<bool> unconnected;
    Stereo played;
    size_t next = 0;
    long long start = 0;
    for (int b = 0; start < frames; ++b) {
        // Mostly 512-frame blocks, some of 0 frames, and one far larger than any block before.
        const uint32_t block = b == 3 ? 65536 : b % 5 == 4 ? 0 : 512;
        const uint32_t n = uint32_t(std::min<long long>(block, frames - start));
        // Junk at the block's start and middle, between the song's events in time order.
        for (uint32_t at : {0u, n / 2}) {
            for (; next < events.size() && events[next].frame < start + at; ++next)
                inst.addEvent(events[next].frame - start, events[next].bytes);
            inst.addEvent(at, {});                    // empty
            inst.addEvent(at, {kNoteOn});             // a status alone
            inst.addEvent(at, {kNoteOn, 60});         // one data byte short
            inst.addEvent(at, {kNoteOn, 0xBC, 100});  // a status byte where data belongs
            inst.addEvent(at, {kNoteOn, 60, 0xC0});
            inst.addEvent(at, {0x40, 60, 100});                       // a data byte where the status belongs
            inst.addEvent(at, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // system-exclusive
            inst.addEvent(at, {0xF4, 60, 100});                       // undefined system status
            inst.addEvent(at, {0xFF});                                // real-time
            inst.addEvent(at, {kNoteOn, 60, 100}, intType);           // not a MIDI event
        }
        for (; next < events.size() && events[next].frame < start + n; ++next)
            inst.addEvent(events[next].frame - start, events[next].bytes);
        // The right output unconnected for a while: the left still plays.
        const bool disconnect = b >= 6 && b < 9;
        inst.connect(kFirstAudioOutPort + 1, disconnect ? nullptr : scratch.data());
        inst.run(n);
        played.left.insert(played.left.end(), inst.left(), inst.left() + n);
        played.right.insert(played.right.end(), scratch.data(), scratch.data() + n);
        unconnected.insert(unconnected.end(), n, disconnect);
        start += n;
    }
    const Stereo expected = reference(44100, frames);
    EXPECT_TRUE(sameSamples(Stereo{played.left, played.left}, Stereo{expected.left, expected.left}));
    // Frames of the unconnected blocks aside, the right channel matches too.
    ASSERT_EQ(unconnected.size(), expected.right.size());
    for (size_t i = 0; i < unconnected.size(); ++i)
        if (!unconnected[i]) {
            ASSERT_EQ(std::bit_cast<UInt32>(played.right[i]), std::bit_cast<UInt32>(expected.right[i])) << i;
        }
}

// Event times are frames whatever the sequence's unit says (hosts leave it
// unset); a time past the block is its last frame, and an event never comes
// earlier than the one listed before it. Every note plays, where it says.
TEST_F(Lv2, EventTimesAreFramesTakenInOrderWithinTheBlock) {
    const uint32_t block = 512;
    // Per block: the time the host writes, then where the plug-in must take it.
    struct Timed {
        int64_t written, taken;
        std::vector<uint8_t> bytes;
    };
    std::vector<std::vector<Timed>> song;
    for (int b = 0; b < 40; ++b) {
        const uint8_t key = uint8_t(40 + b % 24);
        song.push_back({{300, 300, {kNoteOn, key, 100}},
                        {100, 300, {kNoteOn, uint8_t(key + 7), 90}},  // listed after 300: taken at 300
                        {block + 900, block - 1, {0x80, key, 0}},     // past the block: its last frame
                        {-40, block - 1, {0x80, uint8_t(key + 7), 0}}});
    }
    const auto play = [&](bool asWritten, uint32_t unit) {
        Lv2Instance inst(world, urids, 44100, block);
        Stereo out;
        for (const auto& events : song) {
            for (const Timed& t : events) inst.addEvent(asWritten ? t.written : t.taken, t.bytes);
            inst.sequence()->body.unit = unit;
            inst.run(block);
            out.left.insert(out.left.end(), inst.left(), inst.left() + block);
            out.right.insert(out.right.end(), inst.right(), inst.right() + block);
        }
        return out;
    };
    const Stereo expected = play(false, 0);
    EXPECT_GT(*std::max_element(expected.left.begin(), expected.left.end()), 0.01f);
    for (uint32_t garbage : {urids.map(LV2_ATOM__beatTime), 0xDEADBEEFu, 0u})
        EXPECT_TRUE(sameSamples(play(true, garbage), expected)) << "unit " << garbage;
}

TEST_F(Lv2, InstantiationRefusesWhatItCannotUse) {
    for (double rate : {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(lilv_plugin_instantiate(world.plugin, rate, urids.features()), nullptr) << rate;
    const LV2_Feature* none[] = {nullptr};
    EXPECT_EQ(lilv_plugin_instantiate(world.plugin, 44100, none), nullptr);
}
