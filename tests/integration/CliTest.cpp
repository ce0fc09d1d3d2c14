// End-to-end renders through the velmora command, and its refusals of bad input.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Smf.h"
#include "../support/HostilePresets.h"

namespace fs = std::filesystem;

namespace {

struct Wav {
    int channels = 0, rate = 0;
    std::vector<float> samples;
};

Wav readWav(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Wav w;
    if (!f) return w;
    w.channels = info.channels;
    w.rate = info.samplerate;
    w.samples.resize(size_t(info.frames * info.channels));
    sf_readf_float(f, w.samples.data(), info.frames);
    sf_close(f);
    return w;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velmora-cli-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path song(const std::vector<MidiEvent>& events, const char* name = "song.mid") {
        const auto bytes = writeSmf(events);
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                           std::streamsize(bytes.size()));
        return dir / name;
    }
    int run(const std::string& args) {
        const std::string command = std::string(VELMORA_BINARY) + " " + args + " > " + (dir / "stdout").string() +
                                    " 2> " + (dir / "stderr").string();
        return WEXITSTATUS(std::system(command.c_str()));
    }
    std::string errors() {
        std::ifstream in(dir / "stderr");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir;
};

}  // namespace

TEST_F(Cli, NoteStartsInItsSliceAndChannelsAreIdentical) {
    // 0.5 s at 120 bpm is frame 22050, inside the slice that starts at 22016.
    const fs::path mid = song({{0.5, 0x90, 60, 100}, {1.0, 0x80, 60, 0}});
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "out.wav").string() + " --format float --set A1=0"), 0)
        << errors();
    const Wav wav = readWav(dir / "out.wav");
    ASSERT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100);
    long first = -1;
    for (size_t i = 0; i < wav.samples.size(); i += 2) {
        EXPECT_EQ(wav.samples[i], wav.samples[i + 1]);
        if (first < 0 && wav.samples[i] != 0.0f) first = long(i / 2);
    }
    EXPECT_EQ(first, 22016);
    // Rendering stops once the release has ended.
    EXPECT_GT(wav.samples.size() / 2, 44100u);
    EXPECT_LT(wav.samples.size() / 2, 44100u + 44100u);
}

TEST_F(Cli, FramesRateChannelsAndAutomation) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "out.wav").string() +
                  " --frames 4800 --rate 48000 --channels 1 --block 100 --at 2400:Volume=0 --format 16"),
              0)
        << errors();
    const Wav wav = readWav(dir / "out.wav");
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.rate, 48000);
    ASSERT_EQ(wav.samples.size(), 4800u);
    // Volume 0 from the block containing frame 2400 on: the ramp reaches 0 within a slice.
    for (size_t i = 2500 + 64; i < 4800; ++i) EXPECT_EQ(wav.samples[i], 0.0f) << i;
}

TEST_F(Cli, BadInputIsRefusedAndWritesNothing) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    const fs::path out = dir / "out.wav";
    std::ofstream(dir / "broken.mid") << "MThd garbage";
    struct Case {
        std::string args, message;
    };
    for (const Case& c : {Case{"render " + (dir / "missing.mid").string() + " " + out.string(), "missing.mid"},
                          Case{"render " + (dir / "broken.mid").string() + " " + out.string(), "broken.mid"},
                          Case{"render " + mid.string() + " " + out.string() + " --preset nosuch", "unknown preset"},
                          Case{"render " + mid.string() + " " + out.string() + " --set Nosuch=1", "unknown parameter"},
                          Case{"render " + mid.string() + " " + out.string() + " --set Volume=loud", "bad value"},
                          Case{"render " + mid.string() + " " + out.string() + " --channels 3", "channel"},
                          Case{"render " + mid.string() + " " + (dir / "nodir" / "out.wav").string(), "cannot write"}}) {
        EXPECT_NE(run(c.args), 0) << c.args;
        EXPECT_NE(errors().find(c.message), std::string::npos) << c.args << ": " << errors();
        EXPECT_FALSE(fs::exists(out)) << c.args;
    }
}

TEST_F(Cli, ListsPresetsAndParameters) {
    ASSERT_EQ(run("presets"), 0);
    std::ifstream presets(dir / "stdout");
    std::string first;
    std::getline(presets, first);
    EXPECT_NE(first.find("init"), std::string::npos);
    ASSERT_EQ(run("params"), 0);
    std::ifstream params(dir / "stdout");
    int lines = 0;
    for (std::string line; std::getline(params, line);) ++lines;
    EXPECT_EQ(lines, 102);
}

TEST_F(Cli, StateFileSavedByOneCommandRendersLikeItsSettings) {
    const fs::path mid = song({{0.0, 0x90, 50, 100}, {0.3, 0x80, 50, 0}});
    const std::string settings = " --preset 28 --set \"OSC1 Tune=3.5\" --set \"FilterA type=rude LP2\"";
    ASSERT_EQ(run("state save " + (dir / "s.aupreset").string() + settings), 0) << errors();
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "a.wav").string() + " --format float" + settings), 0);
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "b.wav").string() + " --format float --state " +
                  (dir / "s.aupreset").string()),
              0)
        << errors();
    EXPECT_EQ(readWav(dir / "a.wav").samples, readWav(dir / "b.wav").samples);

    std::ofstream(dir / "bad.aupreset") << "<?xml version=\"1.0\"?><plist><dict><key>version</key>";
    EXPECT_NE(run("render " + mid.string() + " " + (dir / "c.wav").string() + " --state " +
                  (dir / "bad.aupreset").string()),
              0);
    EXPECT_NE(errors().find("bad.aupreset"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "c.wav"));
}

TEST_F(Cli, HostileStateFilesAreRefusedAsDamaged) {
    const fs::path mid = song({{0.0, 0x90, 50, 100}, {0.3, 0x80, 50, 0}});
    for (const auto& [name, content] : hostile::all()) {
        std::ofstream(dir / name, std::ios::binary) << content;
        const std::string state = " --state " + (dir / name).string();
        EXPECT_EQ(run("render " + mid.string() + " " + (dir / "out.wav").string() + state), 1) << name;
        EXPECT_NE(errors().find("damaged"), std::string::npos) << name << ": " << errors();
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << name;
    }
}
