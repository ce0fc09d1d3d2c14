// Bit-exactness guard: renders of every factory preset, of the heaviest configuration
// and of configurations that reach every oscillator, filter, shaper, routing and mix
// mode, compared with hashes of renders stored below.
//
// After an intended change of the sound (new presets, say), regenerate the table with
//     VELMORA_UPDATE_GOLDEN=1 build/tests/integration/test_golden
// which rewrites the table in this file; VELMORA_PRINT_GOLDEN=1 only prints it.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../support/HeaviestConfiguration.h"
#include "../support/PatternPlayer.h"
#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "Host/Smf.h"
#include "Platform/Log.h"

namespace {

struct Golden {
    const char* name;
    std::uint64_t hash;
};

// clang-format off
// golden-table-begin
const Golden kGolden[] = {
    {"default", 0xe6c5734dd91db61bULL},
    {"preset 0", 0x0377cae5dc35ef19ULL},
    {"preset 1", 0xc960fd9fe770ea4eULL},
    {"preset 2", 0xb663e0fe25a7f8ddULL},
    {"preset 3", 0x9535cca647b2adf8ULL},
    {"preset 4", 0xf70125efe5f9ecabULL},
    {"preset 5", 0x2dd1f8c68bde320aULL},
    {"preset 6", 0x69fda4ca146cfb45ULL},
    {"preset 7", 0x3f1e82710f7ed937ULL},
    {"preset 8", 0x4a47486c7632f29cULL},
    {"preset 9", 0x2659dbb6082f3216ULL},
    {"preset 10", 0x50b9709fcbf817d0ULL},
    {"preset 11", 0xfaa4d7b826791d68ULL},
    {"preset 12", 0x0dbbce0cc9f6c823ULL},
    {"preset 13", 0xb6ef0750dc694ad7ULL},
    {"preset 14", 0x91978478407e7bbeULL},
    {"preset 15", 0x5f3c8c54274801bdULL},
    {"preset 16", 0xaee66505d37da6f8ULL},
    {"preset 17", 0x6c110fdb808cb5e9ULL},
    {"preset 18", 0xddd9bbc3675d0cd5ULL},
    {"preset 19", 0x5d3f7c656ca10096ULL},
    {"preset 20", 0x2c1c4ccd74484da0ULL},
    {"preset 21", 0x4475bad2e220f94eULL},
    {"preset 22", 0x61dd37f3bf08f4cbULL},
    {"preset 23", 0xd2710a3d17d27f6cULL},
    {"preset 24", 0x965bcee68799d998ULL},
    {"preset 25", 0x22c05a9507e88123ULL},
    {"preset 26", 0x8735a8d05855e84fULL},
    {"preset 27", 0xc218ec1b8b13ed9bULL},
    {"preset 28", 0x7f9c2ca4470a9861ULL},
    {"preset 29", 0x047fdeb15d6527b8ULL},
    {"preset 30", 0xb3ea5ccb10f340fdULL},
    {"heaviest", 0xaff52b2033c8c0f7ULL},
    {"heaviest, 37-frame blocks", 0xdc2b39d955afe9b6ULL},
    {"heaviest, 96 kHz", 0x1362f13b04806f15ULL},
    {"digiwave", 0x13938ce74daef468ULL},
    {"pwm", 0x68a4312cc911c16cULL},
    {"noise only", 0x6e1e37e7c2a74ac0ULL},
    {"filter 1", 0xdf5702530926ada6ULL},
    {"filter 2", 0x040da7ecc851d392ULL},
    {"filter 3", 0xdcb6e6bf7adfd10dULL},
    {"filter 4", 0x3f0f3a183167f796ULL},
    {"filter 5", 0xbfa2854809afb77aULL},
    {"filter 6", 0xef9ba675be4b49c5ULL},
    {"filter 7", 0x331051fa2316aa54ULL},
    {"filter 8", 0x775effc382da84c2ULL},
    {"filter 9", 0x737710399135f235ULL},
    {"filter 10", 0x07a6f6d689f3f826ULL},
    {"filter 11", 0xde41275f739ab712ULL},
    {"filter 12", 0xd4a9574d666b78daULL},
    {"filter 13", 0xb856ffba7a306281ULL},
    {"filter 14", 0xcbd0cad74ba98fafULL},
    {"filter 15", 0x162adae703e650d5ULL},
    {"filter 16", 0x1daa10604fad8caaULL},
    {"filter 17", 0x401b4f1b81e57265ULL},
    {"shaper 1", 0x5b8654004cd8e4e5ULL},
    {"shaper 2", 0x3e57d6370dafad84ULL},
    {"shaper 3", 0x7c59f28fcae071ebULL},
    {"routing 0", 0xfe2d78b02695a06aULL},
    {"routing 1", 0xae27ea24beed1d8cULL},
    {"routing 2", 0x307824265bf64177ULL},
    {"routing 3", 0x5e5c11e481d1f506ULL},
    {"routing 4", 0x85fa913b62fdc707ULL},
    {"routing 5", 0xdfb76e5349c3a318ULL},
    {"routing 6", 0x4a18e40009389ed4ULL},
    {"routing 7", 0x6caf9e61dc9174f9ULL},
    {"routing 8", 0x87f1a8dc90002ef4ULL},
    {"routing 7, 37-frame blocks", 0xe614574400a1d60dULL},
    {"mix 1", 0x8dfd43f773ae92c5ULL},
    {"mix 2", 0x76f048029d828fecULL},
    {"mix 3", 0x515d3bc0b8407993ULL},
    {"mix 4", 0xe6c5734dd91db61bULL},
    {"legato glide", 0x64f3d38655e96003ULL},
};
// golden-table-end
// clang-format on

constexpr long long kFrames = 441000;  // the whole 10 s pattern at 44.1 kHz

struct Configuration {
    std::string name;
    int preset = -1;  // a factory preset selected before the settings, or none
    std::vector<ParameterSetting> settings;
    double sampleRate = 44100;
    UInt32 block = 64;
};

std::vector<ParameterSetting> heaviest() {
    return {std::begin(kHeaviestConfiguration), std::end(kHeaviestConfiguration)};
}

std::vector<Configuration> configurations(int presets) {
    std::vector<Configuration> list;
    list.push_back({"default", -1, {}});
    for (int p = 0; p < presets; ++p) list.push_back({"preset " + std::to_string(p), p, {}});
    list.push_back({"heaviest", -1, heaviest()});
    list.push_back({"heaviest, 37-frame blocks", -1, heaviest(), 44100, 37});
    list.push_back({"heaviest, 96 kHz", -1, heaviest(), 96000, 64});

    // Oscillator routines; shapes swept by the LFOs.
    const std::vector<ParameterSetting> lfos = {{kLFO1Wave, 1}, {kLFO1Speed, 50}, {kLFO2Wave, 3}, {kLFO2Speed, 30}};
    for (float wave : {2.0f, 3.0f}) {
        Configuration c{wave == 2 ? "digiwave" : "pwm", -1, lfos};
        for (UInt32 base : {0u, kOscStride})
            c.settings.insert(c.settings.end(), {{kOSC1Wave + base, wave},
                                                 {kOSC1Tune + base, base ? -5.0f : 0.0f},
                                                 {kOSC1Mology + base, 40},
                                                 {kOSC1MModSrc + base, 15},
                                                 {kOSC1MModDpth + base, 50},
                                                 {kOSC1Vari + base, 30},
                                                 {kOSC1VModSrc + base, 17},
                                                 {kOSC1VModDpth + base, 60}});
        list.push_back(c);
    }
    list.push_back({"noise only",
                    -1,
                    {{kOSC1Wave, 0},
                     {kOSC2Wave, 0},
                     {kNoiseType, 1},
                     {kNoiseGain, 60},
                     {kNoisePan, 30},
                     {kNoisePanMSrc, 15},
                     {kNoisePanMDpth, 40},
                     {kLFO1Wave, 1}}});

    // Every filter type in both slots, cutoffs modulated.
    for (int type = 1; type <= 17; ++type)
        list.push_back({"filter " + std::to_string(type),
                        -1,
                        {{kFilterAType, float(type)},
                         {kFilterAFc, 60},
                         {kFilterAFq, 70},
                         {kFiltAKeyfollow, 50},
                         {kFilterAFSrc, 11},
                         {kFilterAFDpth, 40},
                         {kFilterBType, float(type)},
                         {kFilterBFc, 85},
                         {kFilterBFq, 30},
                         {kFilterBFSrc, 15},
                         {kFilterBFDpth, 20},
                         {kLFO1Wave, 4},
                         {kOSC2Tune, 12}}});

    // The other shapers (the heaviest configuration has "wedge").
    for (int type = 1; type <= 3; ++type)
        list.push_back({"shaper " + std::to_string(type),
                        -1,
                        {{kRumbleAType, float(type)},
                         {kRumbleADepth, 60},
                         {kRumbleAModSrc, 11},
                         {kRumbleAModDpth, 30},
                         {kRumbleBType, float(type)},
                         {kRumbleBDepth, 20},
                         {kRumbleBModSrc, 15},
                         {kRumbleBModDpth, 40},
                         {kLFO1Wave, 1},
                         {kOSC2Tune, -7}}});

    // Every routing, with a filter and a shaper in each path; routing 7 also in calls that
    // are no multiple of the short blocks its two filters run in.
    auto routingConfiguration = [](int routing, const std::string& name, UInt32 block) {
        return Configuration{name,
                             -1,
                             {{kRouting, float(routing)},
                              {kFilterAType, 1},
                              {kFilterAFc, 75},
                              {kFilterAFq, 60},
                              {kFilterBType, 9},
                              {kFilterBFc, 60},
                              {kFilterBFq, 40},
                              {kRumbleAType, 2},
                              {kRumbleADepth, 50},
                              {kRumbleBType, 1},
                              {kRumbleBDepth, 40},
                              {kOSC1Gain, 80},
                              {kOSC2Gain, 60},
                              {kOSC2Tune, 5}},
                             44100,
                             block};
    };
    for (int routing = 0; routing <= 8; ++routing)
        list.push_back(routingConfiguration(routing, "routing " + std::to_string(routing), 64));
    list.push_back(routingConfiguration(7, "routing 7, 37-frame blocks", 37));

    for (int mode = 1; mode <= 4; ++mode)
        list.push_back({"mix " + std::to_string(mode), -1, {{kMixMode, float(mode)}, {kOSC1Tune, 3}}});
    list.push_back({"legato glide", -1, {{kTrigger, 0}, {kGlide, 40}}});
    return list;
}

struct Render {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a 64 offset basis
    bool finite = true, channelsEqual = true, ok = true;
    float peak = 0;
};

MidiSong pattern() { return readSmfFile(VELMORA_PATTERN); }

// FNV-1a 64 over the bit patterns of channel 0, each float as four bytes, low byte first.
Render render(const Configuration& config, const MidiSong& song) {
    Render r;
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(config.sampleRate, 2, config.block);
    if (config.preset >= 0) instrument.selectPreset(config.preset);
    for (const ParameterSetting& s : config.settings) instrument.setParameter(s.id, s.value);

    const PatternPlayer player(song, kFrames, config.sampleRate, config.block);
    std::vector<float> left(config.block), right(config.block);
    r.ok = player.play(instrument.unit(), {left.data(), right.data()}, [&](UInt32 n) {
        for (UInt32 i = 0; i < n; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &left[i], sizeof bits);
            for (int b = 0; b < 4; ++b) {
                r.hash ^= (bits >> (8 * b)) & 0xFF;
                r.hash *= 0x100000001b3ULL;
            }
            r.finite = r.finite && std::isfinite(left[i]);
            r.channelsEqual = r.channelsEqual && std::memcmp(&left[i], &right[i], sizeof(float)) == 0;
            r.peak = std::max(r.peak, std::fabs(left[i]));
        }
    });
    return r;
}

struct Actual {
    std::vector<std::pair<std::string, Render>> renders;
};

const Actual& actual() {
    static const Actual result = [] {
        SetPlatformLogHook(PlatformLogSilent);
        RegisterVelmora();
        const MidiSong song = pattern();
        Actual a;
        const int presets = int(HostedInstrument(kVelmoraDescription).factoryPresets().size());
        for (const Configuration& c : configurations(presets)) a.renders.emplace_back(c.name, render(c, song));
        return a;
    }();
    return result;
}

std::string tableText() {
    std::ostringstream out;
    out << "const Golden kGolden[] = {\n";
    for (const auto& [name, r] : actual().renders) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%016" PRIx64 "ULL", r.hash);
        out << "    {\"" << name << "\", " << hex << "},\n";
    }
    out << "};\n";
    return out.str();
}

// Replaces the table between the markers of this source file.
bool rewriteSource() {
    std::ifstream in(__FILE__);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    const std::string begin = "// golden-table-begin\n", end = "// golden-table-end";
    const auto from = text.find(begin), to = text.find(end);
    if (!in || from == std::string::npos || to == std::string::npos || to < from) return false;
    text.replace(from + begin.size(), to - from - begin.size(), tableText());
    std::ofstream(__FILE__, std::ios::trunc) << text;
    return true;
}

class GoldenRender : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        if (std::getenv("VELMORA_UPDATE_GOLDEN")) {
            if (rewriteSource())
                std::printf("rewrote the table in %s; rebuild to use it\n", __FILE__);
            else
                ADD_FAILURE() << "could not rewrite " << __FILE__;
        } else if (std::getenv("VELMORA_PRINT_GOLDEN") || mismatch) {
            std::printf("\nThe renders of this build (regenerate with VELMORA_UPDATE_GOLDEN=1):\n%s",
                        tableText().c_str());
        }
    }

    // Compares the renders whose names start (or do not start) with "preset ".
    static void compare(bool presets) {
        std::map<std::string, std::uint64_t> stored;
        for (const Golden& g : kGolden) stored[g.name] = g.hash;
        for (const auto& [name, r] : actual().renders) {
            if ((name.rfind("preset ", 0) == 0) != presets) continue;
            const auto it = stored.find(name);
            if (it == stored.end()) {
                ADD_FAILURE() << "no stored render for '" << name << "'";
                mismatch = true;
                continue;
            }
            if (it->second != r.hash) {
                ADD_FAILURE() << "'" << name << "' renders differently from the stored render";
                mismatch = true;
            }
            stored.erase(it);
        }
        for (const auto& [name, hash] : stored)
            if ((name.rfind("preset ", 0) == 0) == presets) {
                ADD_FAILURE() << "stored render '" << name << "' has no configuration any more";
                mismatch = true;
            }
    }

    static inline bool mismatch = false;
};

TEST_F(GoldenRender, EveryRenderIsFiniteAudibleAndTheSameOnBothChannels) {
    for (const auto& [name, r] : actual().renders) {
        EXPECT_TRUE(r.ok) << name;
        EXPECT_TRUE(r.finite) << name;
        EXPECT_TRUE(r.channelsEqual) << name;
        EXPECT_GT(r.peak, 1e-3f) << name;  // a silent render would hash the same whatever the code does
    }
}

TEST_F(GoldenRender, FactoryPresetsRenderAsStored) { compare(true); }

TEST_F(GoldenRender, ConfigurationsRenderAsStored) { compare(false); }

}  // namespace
