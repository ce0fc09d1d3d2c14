// End-to-end renders through the velmora command, and its refusals of bad input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "../support/HostilePresets.h"
#include "Host/Smf.h"

namespace fs = std::filesystem;

namespace {

struct Wav {
    int channels = 0, rate = 0, format = 0;
    std::vector<float> samples;
};

Wav readWav(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Wav w;
    if (!f) return w;
    w.channels = info.channels;
    w.rate = info.samplerate;
    w.format = info.format;
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
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return dir / name;
    }
    int run(const std::string& args) {
        const std::string command = std::string(VELMORA_BINARY) + " " + args + " > " + (dir / "stdout").string() +
                                    " 2> " + (dir / "stderr").string();
        return WEXITSTATUS(std::system(command.c_str()));
    }
    std::string errors() { return contents(dir / "stderr"); }
    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::set<std::string> listing() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename() != "stdout" && entry.path().filename() != "stderr")
                names.insert(entry.path().filename().string());
        return names;
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
    for (const Case& c :
         {Case{"render " + (dir / "missing.mid").string() + " " + out.string(), "missing.mid"},
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

TEST_F(Cli, SongCutShortIsPlayedAsFarAsItGoesUnlessStrict) {
    const fs::path whole = song({{0.0, 0x90, 60, 100}, {0.5, 0x80, 60, 0}, {0.5, 0x90, 62, 100}, {3.0, 0x80, 62, 0}});
    const std::string bytes = contents(whole);
    std::ofstream(dir / "cut.mid", std::ios::binary) << bytes.substr(0, bytes.size() - 6);
    const std::string render = "render " + (dir / "cut.mid").string() + " " + (dir / "out.wav").string();

    EXPECT_EQ(run(render + " --strict"), 1);
    EXPECT_NE(errors().find("chunk length runs past end of file"), std::string::npos) << errors();
    EXPECT_FALSE(fs::exists(dir / "out.wav"));

    ASSERT_EQ(run(render + " --format float"), 0) << errors();
    EXPECT_NE(errors().find("cut.mid: track 1 ends early at byte"), std::string::npos) << errors();
    // The second note is released at 0.5 s, where the file ends: the render is its release, not 3 s.
    const Wav wav = readWav(dir / "out.wav");
    EXPECT_GT(wav.samples.size() / 2, 22050u);
    EXPECT_LT(wav.samples.size() / 2, 2 * 44100u);
}

// The output's name chooses the format; the summary measures the rendered samples.
TEST_F(Cli, FlacAndOggByNameWithLoudnessInTheSummary) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}, {0.5, 0x80, 60, 0}});
    const std::string render = "render " + mid.string() + " " + (dir / "out").string();
    ASSERT_EQ(run(render + ".wav --format float"), 0) << errors();
    const Wav reference = readWav(dir / "out.wav");
    ASSERT_EQ(run(render + ".flac"), 0) << errors();
    EXPECT_NE(contents(dir / "stdout").find(" LUFS, true peak "), std::string::npos) << contents(dir / "stdout");
    EXPECT_NE(contents(dir / "stdout").find(" dBTP\n"), std::string::npos) << contents(dir / "stdout");

    const Wav flac = readWav(dir / "out.flac");
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    ASSERT_EQ(flac.samples.size(), reference.samples.size());
    for (size_t i = 0; i < flac.samples.size(); ++i)
        ASSERT_NEAR(flac.samples[i], reference.samples[i], 1.0 / (1 << 23)) << i;
    ASSERT_EQ(run(render + "16.FLAC --format 16"), 0) << errors();
    EXPECT_EQ(readWav(dir / "out16.FLAC").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(run(render + ".ogg --format 16"), 0) << errors();
    const Wav ogg = readWav(dir / "out.ogg");
    EXPECT_EQ(ogg.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(ogg.samples.size(), reference.samples.size());

    EXPECT_EQ(run(render + "-float.flac --format float"), 1);
    EXPECT_NE(errors().find("FLAC has no float samples"), std::string::npos) << errors();
    EXPECT_FALSE(fs::exists(dir / "out-float.flac"));
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
    EXPECT_NE(
        run("render " + mid.string() + " " + (dir / "c.wav").string() + " --state " + (dir / "bad.aupreset").string()),
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

TEST_F(Cli, EndlessRendersAreRefusedBeforeAnythingIsWritten) {
    // 44 bytes: one tick a beat at 16.7 s a beat, and a note held for 2^28 - 1 ticks (about 143 years).
    const unsigned char hostile[] = {'M',  'T',  'h',  'd',  0,    0,    0,    6,  0, 0, 0, 1, 0, 1,  //
                                     'M',  'T',  'r',  'k',  0,    0,    0,    22,                    //
                                     0,    0xFF, 0x51, 3,    0xFF, 0xFF, 0xFF,                        //
                                     0,    0x90, 60,   100,                                           //
                                     0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60,   0,                           //
                                     0,    0xFF, 0x2F, 0};
    static_assert(sizeof hostile == 44);
    std::ofstream(dir / "hostile.mid", std::ios::binary).write(reinterpret_cast<const char*>(hostile), 44);
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    const std::string out = (dir / "out.wav").string();
    const auto before = listing();
    struct Case {
        std::string args, message;
    };
    for (const Case& c : {Case{"render " + (dir / "hostile.mid").string() + " " + out, "more than 24 hours"},
                          Case{"render " + (dir / "hostile.mid").string() + " " + out + " --max-length 10h",
                               "more than --max-length (10.0 hours)"},
                          Case{"render " + mid.string() + " " + out + " --frames 1099511627776", " free"},
                          Case{"render " + mid.string() + " " + out + " --frames 1099511627776 --max-length 90m",
                               "more than --max-length"}}) {
        EXPECT_EQ(run(c.args), 1) << c.args;
        EXPECT_NE(errors().find(c.message), std::string::npos) << c.args << ": " << errors();
        EXPECT_EQ(listing(), before) << c.args;
    }
}

TEST_F(Cli, OutputThatIsAnInputIsRefusedAndTheInputKept) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    fs::create_symlink("song.mid", dir / "link.mid");
    fs::create_hard_link(mid, dir / "hard.mid");
    fs::create_symlink("s.aupreset", dir / "state-link");
    ASSERT_EQ(run("state save " + (dir / "s.aupreset").string()), 0) << errors();
    const std::string songBytes = contents(mid), stateBytes = contents(dir / "s.aupreset");
    const std::string state = (dir / "s.aupreset").string();
    const auto before = listing();
    for (const std::string& args :
         {"render " + mid.string() + " " + mid.string(), "render " + mid.string() + " " + (dir / "link.mid").string(),
          "render " + mid.string() + " " + (dir / "hard.mid").string() + " --force",
          "render " + mid.string() + " " + state + " --state " + state + " --force",
          "state save " + state + " --state " + (dir / "s.aupreset").string() + " --force",
          "state save " + (dir / "state-link").string() + " --state " + state}) {
        EXPECT_EQ(run(args), 1) << args;
        EXPECT_NE(errors().find("being read"), std::string::npos) << args << ": " << errors();
        EXPECT_EQ(contents(mid), songBytes) << args;
        EXPECT_EQ(contents(dir / "s.aupreset"), stateBytes) << args;
        EXPECT_EQ(listing(), before) << args;
    }
}

TEST_F(Cli, ExistingFileOfAnotherKindIsReplacedOnlyWithForce) {
    const fs::path a = song({{0.0, 0x90, 60, 100}}, "a.mid"), b = song({{0.0, 0x90, 64, 100}}, "b.mid");
    const std::string songB = contents(b);
    EXPECT_EQ(run("render " + a.string() + " " + b.string()), 1);
    EXPECT_NE(errors().find("is a MIDI file, not an audio file; --force"), std::string::npos) << errors();
    EXPECT_EQ(run("state save " + b.string()), 1);
    EXPECT_NE(errors().find("is a MIDI file, not a property list"), std::string::npos) << errors();
    EXPECT_EQ(contents(b), songB);

    ASSERT_EQ(run("render " + a.string() + " " + b.string() + " --force --frames 100"), 0) << errors();
    EXPECT_EQ(readWav(b).samples.size(), 200u);
    // A file of the kind being written is replaced as it always was: a new render, a new save.
    ASSERT_EQ(run("render " + a.string() + " " + b.string() + " --frames 50"), 0) << errors();
    EXPECT_EQ(readWav(b).samples.size(), 100u);
    ASSERT_EQ(run("state save " + (dir / "s.aupreset").string()), 0);
    ASSERT_EQ(run("state save " + (dir / "s.aupreset").string() + " --set Volume=7"), 0) << errors();
}

TEST_F(Cli, SymbolicLinksAreWrittenThrough) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    fs::create_directory(dir / "renders");
    fs::create_symlink("renders/take.wav", dir / "latest.wav");  // dangling until the first render
    fs::create_symlink("renders/s.aupreset", dir / "current.aupreset");
    for (const long frames : {100, 300}) {
        ASSERT_EQ(
            run("render " + mid.string() + " " + (dir / "latest.wav").string() + " --frames " + std::to_string(frames)),
            0)
            << errors();
        EXPECT_TRUE(fs::is_symlink(dir / "latest.wav"));
        EXPECT_EQ(readWav(dir / "renders" / "take.wav").samples.size(), size_t(2 * frames));
        ASSERT_EQ(run("state save " + (dir / "current.aupreset").string()), 0) << errors();
        EXPECT_TRUE(fs::is_symlink(dir / "current.aupreset"));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "renders" / "s.aupreset")));
    }
    EXPECT_EQ(listing(), (std::set<std::string>{"current.aupreset", "latest.wav", "renders", "song.mid"}));
}

TEST_F(Cli, FifoIsWrittenInPlaceWithAStreamHeader) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}, {0.2, 0x80, 60, 0}});
    const fs::path fifo = dir / "pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    const int status = run("render " + mid.string() + " " + fifo.string() + " --format float");
    if (status != 0) close(open(fifo.c_str(), O_WRONLY));  // lets the reader go
    reader.join();
    ASSERT_EQ(status, 0) << errors();
    EXPECT_TRUE(fs::is_fifo(fifo));
    ASSERT_GT(received.size(), 44u);
    EXPECT_EQ(received.substr(0, 4), "RIFF");
    EXPECT_EQ(received.substr(4, 4), "\xFF\xFF\xFF\xFF");  // "to the end": the length was not known
    EXPECT_EQ(received.substr(36, 8), "data\xFF\xFF\xFF\xFF");

    std::ofstream(dir / "received.wav", std::ios::binary) << received;
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "file.wav").string() + " --format float"), 0);
    const Wav streamed = readWav(dir / "received.wav"), file = readWav(dir / "file.wav");
    EXPECT_EQ(streamed.rate, 44100);
    EXPECT_FALSE(file.samples.empty());
    EXPECT_EQ(streamed.samples, file.samples);
}

TEST_F(Cli, CharacterDeviceIsWrittenInPlaceAndKept) {
    if (geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    const fs::path mid = song({{0.0, 0x90, 60, 100}});
    // The kernel's null and full devices, as nodes of our own.
    ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    EXPECT_EQ(run("render " + mid.string() + " " + (dir / "null").string()), 0) << errors();
    EXPECT_EQ(run("render " + mid.string() + " " + (dir / "full").string()), 1);
    EXPECT_NE(errors().find("No space left"), std::string::npos) << errors();
    for (const char* name : {"null", "full"}) {
        struct stat st {};
        ASSERT_EQ(lstat((dir / name).c_str(), &st), 0) << name;
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << name;
        EXPECT_EQ(st.st_rdev, makedev(1, name[0] == 'n' ? 3 : 7)) << name;
    }
    EXPECT_EQ(listing(), (std::set<std::string>{"full", "null", "song.mid"}));
}

TEST_F(Cli, StandardOutputCarriesAWavThatReadsBack) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}, {0.2, 0x80, 60, 0}});
    // Through a pipe, as to a player: the sizes stay "to the end".
    const std::string command = std::string(VELMORA_BINARY) + " render " + mid.string() + " - --format 16 2> " +
                                (dir / "stderr").string() + " | cat > " + (dir / "piped.wav").string();
    ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << errors();
    EXPECT_NE(errors().find("standard output: "), std::string::npos) << errors();
    EXPECT_EQ(contents(dir / "piped.wav").substr(40, 4), "\xFF\xFF\xFF\xFF");
    ASSERT_EQ(run("render " + mid.string() + " " + (dir / "file.wav").string() + " --format 16"), 0);
    const Wav piped = readWav(dir / "piped.wav"), file = readWav(dir / "file.wav");
    EXPECT_EQ(piped.channels, 2);
    EXPECT_FALSE(file.samples.empty());
    EXPECT_EQ(piped.samples, file.samples);
}

TEST_F(Cli, ClippingOfIntegerOutputIsReported) {
    const fs::path mid = song({{0.0, 0x90, 60, 100}, {0.5, 0x80, 60, 0}});
    const std::string out = " " + (dir / "out.wav").string();
    ASSERT_EQ(run("render " + mid.string() + out + " --set Volume=1000 --format 16"), 0) << errors();
    EXPECT_NE(errors().find("clipped in the 16-bit output; --format float keeps them"), std::string::npos) << errors();
    // Float keeps what is beyond full scale, and in-range settings stay below it.
    ASSERT_EQ(run("render " + mid.string() + out + " --set Volume=1000 --format float"), 0);
    EXPECT_EQ(errors(), "");
    ASSERT_EQ(run("render " + mid.string() + out), 0);
    EXPECT_EQ(errors(), "");
}
