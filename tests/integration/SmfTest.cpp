// Standard MIDI File reading and writing: timing, merging, and refusal of damaged files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "Host/Smf.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
using Bytes = std::vector<std::byte>;

Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(std::byte(v));
    return out;
}
Bytes text(const std::string& s) {
    Bytes out;
    for (char c : s) out.push_back(std::byte(c));
    return out;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes be(std::uint32_t v, int n) {
    Bytes out;
    for (int k = n - 1; k >= 0; --k) out.push_back(std::byte((v >> (8 * k)) & 0xFF));
    return out;
}
Bytes header(int format, int tracks, int division) {
    return text("MThd") + be(6, 4) + be(format, 2) + be(tracks, 2) + be(division, 2);
}
Bytes chunk(const std::string& id, const Bytes& body) { return text(id) + be(std::uint32_t(body.size()), 4) + body; }
Bytes smf(int format, int division, const std::vector<Bytes>& tracks) {
    Bytes out = header(format, int(tracks.size()), division);
    for (const Bytes& t : tracks) out = out + chunk("MTrk", t);
    return out;
}
const Bytes kEnd = B({0x00, 0xFF, 0x2F, 0x00});
auto reading(Bytes bytes) {
    return [bytes] { readSmf(bytes); };
}

struct Expected {
    double seconds;
    int status, data1, data2;
};
void expectEvents(const MidiSong& song, const std::vector<Expected>& expected) {
    ASSERT_EQ(song.events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const MidiEvent& e = song.events[i];
        EXPECT_NEAR(e.seconds, expected[i].seconds, 1e-12) << "event " << i;
        EXPECT_EQ((std::vector<int>{e.status, e.data1, e.data2}),
                  (std::vector<int>{expected[i].status, expected[i].data1, expected[i].data2}))
            << "event " << i;
    }
}

TEST(SmfRoundTrip, GridTimesAndEveryMessageKindSurviveExactly) {
    // 480 ticks at 120 bpm: 960 ticks a second, so these times are whole ticks.
    const std::vector<MidiEvent> written = {
        {1.5, 0x80, 60, 0}, {0.0, 0x90, 60, 100}, {0.25, 0xB5, 1, 64}, {0.25, 0xC5, 7, 0},  {0.25, 0xE5, 0, 0x7F},
        {1.0, 0xAF, 60, 3}, {1.0, 0xDF, 99, 0},   {3.0, 0x9F, 84, 1},  {0.0, 0x90, 62, 90},
    };
    const MidiSong song = readSmf(writeSmf(written));
    // Sorted by time; ties keep the order given.
    expectEvents(song, {{0.0, 0x90, 60, 100},
                        {0.0, 0x90, 62, 90},
                        {0.25, 0xB5, 1, 64},
                        {0.25, 0xC5, 7, 0},
                        {0.25, 0xE5, 0, 0x7F},
                        {1.0, 0xAF, 60, 3},
                        {1.0, 0xDF, 99, 0},
                        {1.5, 0x80, 60, 0},
                        {3.0, 0x9F, 84, 1}});
    EXPECT_DOUBLE_EQ(song.lengthSeconds, 3.0);
}

TEST(SmfRoundTrip, OffGridTimesLandWithinHalfATick) {
    for (auto [tpq, bpm] : {std::pair{480, 120.0}, {96, 100.0}, {960, 137.5}}) {
        std::vector<MidiEvent> written;
        for (int i = 0; i < 50; ++i) written.push_back({i * 0.1234567, 0x90, std::uint8_t(40 + i), 100});
        const MidiSong song = readSmf(writeSmf(written, tpq, bpm));
        ASSERT_EQ(song.events.size(), written.size());
        const double halfTick = 0.5 * 60.0 / bpm / tpq;
        for (std::size_t i = 0; i < written.size(); ++i)
            EXPECT_NEAR(song.events[i].seconds, written[i].seconds, halfTick * 1.0001) << tpq << " " << bpm;
    }
}

TEST(SmfRoundTrip, WriterUsesRunningStatusAndRefusesWhatItCannotStore) {
    const Bytes file = writeSmf({{0, 0x90, 60, 100}, {0, 0x90, 64, 100}, {0, 0x90, 67, 100}});
    EXPECT_EQ(file.size(), 14u + 8u + 7u + 4u + 3u + 3u + 4u);
    EXPECT_THROW(writeSmf({{0, 0xF0, 1, 2}}), std::invalid_argument);
    EXPECT_THROW(writeSmf({{0, 0x7F, 1, 2}}), std::invalid_argument);
    EXPECT_THROW(writeSmf({{0, 0x90, 0x80, 2}}), std::invalid_argument);
    EXPECT_THROW(writeSmf({{-0.1, 0x90, 1, 2}}), std::invalid_argument);
    EXPECT_THROW(writeSmf({{NAN, 0x90, 1, 2}}), std::invalid_argument);
    EXPECT_THROW(writeSmf({}, 0), std::invalid_argument);
    EXPECT_THROW(writeSmf({}, 480, 0), std::invalid_argument);
}

TEST(SmfReader, RunningStatusCarriesAcrossChannelMessagesOnly) {
    const Bytes track =
        B({0x00, 0x90, 60, 100, 0x60, 62, 100, 0x00, 0x80, 60, 0, 0x60, 62, 0, 0x00, 0xC3, 5, 0x60, 7}) + kEnd;
    expectEvents(readSmf(smf(0, 96, {track})), {{0, 0x90, 60, 100},
                                                {0.5, 0x90, 62, 100},
                                                {0.5, 0x80, 60, 0},
                                                {1.0, 0x80, 62, 0},
                                                {1.0, 0xC3, 5, 0},
                                                {1.5, 0xC3, 7, 0}});
    for (const Bytes& cancel : {B({0x00, 0xFF, 0x01, 0x00}), B({0x00, 0xF0, 0x01, 0xF7})})
        EXPECT_THAT(reading(smf(0, 96, {B({0x00, 0x90, 60, 100}) + cancel + B({0x00, 62, 100})})),
                    ThrowsMessage<std::runtime_error>(HasSubstr("no running status")));
}

TEST(SmfReader, TempoChangesApplyFromTheirTickInEveryTrack) {
    // 96 ticks a quarter: 1.0 s a quarter from tick 0, 0.25 s from tick 192, 0.5 s from tick 240.
    const Bytes tempo = B({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x81, 0x40, 0xFF, 0x51,
                           0x03, 0x03, 0xD0, 0x90, 0x30, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) +
                        kEnd;
    const Bytes notes = B({0x60, 0x90, 60, 100, 0x81, 0x40, 0x80, 60, 0}) + B({0x60, 0xFF, 0x2F, 0x00});
    const MidiSong song = readSmf(smf(1, 96, {tempo, notes}));
    expectEvents(song, {{1.0, 0x90, 60, 100}, {2.375, 0x80, 60, 0}});
    EXPECT_DOUBLE_EQ(song.lengthSeconds, 2.875);
    expectEvents(readSmf(smf(0, 480, {B({0x87, 0x40, 0x90, 60, 1}) + kEnd})), {{1.0, 0x90, 60, 1}});
}

TEST(SmfReader, TypeOneTracksMergeInTimeOrderWithTiesInFileOrder) {
    const Bytes a = B({0x00, 0x90, 60, 1, 0x60, 0x80, 60, 0, 0x00, 0x90, 62, 1, 0x60, 0x90, 64, 1}) + kEnd;
    // Bytes after the end of track are padding, not events.
    const Bytes b = B({0x30, 0x91, 70, 1, 0x30, 0x91, 71, 1, 0x68, 0x91, 72, 1}) + kEnd + B({0x00, 0x00, 0x00});
    expectEvents(readSmf(smf(1, 96, {a, b})), {{0, 0x90, 60, 1},
                                               {0.25, 0x91, 70, 1},
                                               {0.5, 0x80, 60, 0},
                                               {0.5, 0x90, 62, 1},
                                               {0.5, 0x91, 71, 1},
                                               {1.0, 0x90, 64, 1},
                                               {1.0 + 8 / 192.0, 0x91, 72, 1}});

    // Many ties: a sort that is stable only for short runs would reorder these.
    Bytes first, second;
    std::vector<Expected> expected;
    for (int k = 0; k < 60; ++k) first = first + B({0x00, 0x90, k, 1});
    for (int k = 60; k < 120; ++k) second = second + B({0x00, 0x90, k, 1});
    for (int k = 0; k < 120; ++k) expected.push_back({0, 0x90, k, 1});
    expectEvents(readSmf(smf(1, 96, {first, second})), expected);
}

TEST(SmfReader, SkipsMetaSysexAndUnknownChunksButCountsTheirDeltaTimes) {
    const Bytes track = B({0x10, 0xFF, 0x01, 0x05}) + text("hello") + B({0x10, 0xFF, 0x58, 0x04, 4, 2, 24, 8}) +
                        B({0x10, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x10, 0xF7, 0x02, 0xF3, 0x01}) +
                        B({0x81, 0x00, 0x90, 60, 100});  // no end of track: accepted when the bytes end cleanly
    Bytes file = text("MThd") + be(10, 4) + be(1, 2) + be(1, 2) + be(96, 2) + B({9, 9, 9, 9});
    file = file + chunk("XFIH", text("junk!")) + chunk("MTrk", track) + text("trailing");
    expectEvents(readSmf(file), {{1.0, 0x90, 60, 100}});
}

TEST(SmfReader, SmpteDivisionCountsFixedTicksAndIgnoresTempo) {
    const Bytes tempo = B({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40});
    for (auto [division, ticks, seconds] :
         {std::tuple{0xE728, 1500, 1.5}, {0xE850, 960, 0.5}, {0xE304, 1199, 1199 * 1001 / 120000.0}}) {
        const Bytes track = tempo + B({0x80 | (ticks >> 7), ticks & 0x7F, 0x90, 60, 1}) + kEnd;
        expectEvents(readSmf(smf(0, division, {track})), {{seconds, 0x90, 60, 1}});
    }
}

struct Malformed {
    const char* name;
    Bytes bytes;
    const char* message;
};
class SmfMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(SmfMalformed, IsRefusedWithAMessage) {
    EXPECT_THAT(reading(GetParam().bytes), ThrowsMessage<std::runtime_error>(HasSubstr(GetParam().message)));
}

const Bytes kNote = B({0x00, 0x90, 60, 100});
INSTANTIATE_TEST_SUITE_P(
    Files, SmfMalformed,
    ::testing::Values(
        Malformed{"Empty", {}, "not a Standard MIDI File (no MThd header)"},
        Malformed{"OtherFile", text("RIFF0000RMIDdata"), "no MThd header"},
        Malformed{"TruncatedHeader", text("MThd") + be(6, 4) + be(0, 2), "truncated MThd header"},
        Malformed{"ShortHeaderLength", text("MThd") + be(4, 4) + Bytes(6), "length 4 is less than 6"},
        Malformed{"HeaderLengthPastEnd", text("MThd") + be(100, 4) + Bytes(6), "chunk length runs past end of file"},
        Malformed{"Format2", smf(2, 96, {kEnd}), "format 2"},
        Malformed{"Format5", smf(5, 96, {kEnd}), "unknown format 5"},
        Malformed{"NoTracks", header(1, 0, 96), "no tracks"},
        Malformed{"Format0TwoTracks", smf(0, 96, {kEnd, kEnd}), "must be 1"},
        Malformed{"ZeroDivision", smf(0, 0, {kEnd}), "zero division"},
        Malformed{"SmpteFrameRate", smf(0, 0xE628, {kEnd}), "unknown frame rate 26"},
        Malformed{"SmpteZeroTicks", smf(0, 0xE700, {kEnd}), "zero ticks per frame"},
        Malformed{"MissingTrack", header(1, 2, 96) + chunk("MTrk", kEnd), "declares 2 tracks but has only 1"},
        Malformed{"TrackLengthLies", header(0, 1, 96) + text("MTrk") + be(100, 4) + kEnd,
                  "chunk length runs past end of file"},
        Malformed{"TruncatedChunkHeader", header(1, 2, 96) + chunk("MTrk", kEnd) + text("MTr"),
                  "truncated chunk header at byte 26"},
        Malformed{"EventPastTrackEnd", smf(0, 96, {B({0x00, 0x90, 60})}), "truncated track 1 at byte 22"},
        Malformed{"SecondTrackTruncated", smf(1, 96, {kEnd, B({0x00, 0xC0})}), "truncated track 2 at byte 34"},
        Malformed{"MetaPastTrackEnd", smf(0, 96, {B({0x00, 0xFF, 0x01, 0x10, 'a'})}), "truncated track 1"},
        Malformed{"SysexPastTrackEnd", smf(0, 96, {B({0x00, 0xF0, 0x7F, 0x01})}), "truncated track 1"},
        Malformed{"VlqCutShort", smf(0, 96, {kNote + B({0x81})}), "truncated track 1 at byte 26"},
        Malformed{"VlqTooLong", smf(0, 96, {B({0x81, 0x81, 0x81, 0x81, 0x01}) + kNote}),
                  "longer than 4 bytes in track 1 at byte 22"},
        Malformed{"NoRunningStatus", smf(0, 96, {B({0x00, 60, 100})}),
                  "data byte 0x3C with no running status in track 1 at byte 23"},
        Malformed{"StatusForData", smf(0, 96, {B({0x00, 0x90, 60, 0x90})}), "status byte 0x90 where a data byte"},
        Malformed{"RealTimeByte", smf(0, 96, {kNote + B({0x00, 0xF8}) + kEnd}), "system message 0xF8"},
        Malformed{"SystemCommon", smf(0, 96, {B({0x00, 0xF2, 0, 0})}), "system message 0xF2"},
        Malformed{"TempoLength", smf(0, 96, {B({0x00, 0xFF, 0x51, 0x02, 1, 2}) + kEnd}), "tempo event of length 2"},
        Malformed{"ZeroTempo", smf(0, 96, {B({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}) + kEnd}), "tempo of zero"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmfRobustness, OversizedTruncatedAndCorruptedFilesNeverCrash) {
    EXPECT_THAT(reading(header(0, 1, 96) + Bytes((std::size_t(64) << 20) - 13)),
                ThrowsMessage<std::runtime_error>(HasSubstr("larger than 64 MiB")));

    const Bytes valid = smf(1, 96,
                            {B({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xF0, 0x02, 0x01, 0xF7}) + kEnd,
                             kNote + B({0x60, 62, 100, 0x10, 0xE0, 0, 64, 0x81, 0x00, 0xB0, 1, 64}) + kEnd});
    for (std::size_t n = 0; n < valid.size(); ++n) {
        EXPECT_THROW(readSmf(std::span(valid).first(n)), std::runtime_error) << n << " bytes";
        try {
            const MidiSong song = readSmf(std::span(valid).first(n), SmfReading::Lenient);
            EXPECT_FALSE(song.cutShort.empty()) << n << " bytes";
            int sounding = 0;
            for (const MidiEvent& e : song.events)
                if ((e.status & 0xF0) == 0x90)
                    ++sounding;
                else if ((e.status & 0xF0) == 0x80)
                    --sounding;
            EXPECT_EQ(sounding, 0) << n << " bytes";
        } catch (const std::runtime_error&) {}
    }

    std::mt19937 rng(1234);
    for (int trial = 0; trial < 20000; ++trial) {
        Bytes damaged = valid;
        for (int k = 0; k < 1 + trial % 3; ++k) damaged[rng() % damaged.size()] = std::byte(rng() & 0xFF);
        try {
            const MidiSong song = readSmf(damaged);
            for (std::size_t i = 0; i < song.events.size(); ++i) {
                const MidiEvent& e = song.events[i];
                ASSERT_TRUE(std::isfinite(e.seconds) && e.seconds >= 0 && e.seconds <= song.lengthSeconds);
                ASSERT_TRUE(e.status >= 0x80 && e.status <= 0xEF && e.data1 < 0x80 && e.data2 < 0x80);
                if (i) {
                    ASSERT_LE(song.events[i - 1].seconds, e.seconds);
                }
            }
        } catch (const std::runtime_error&) {}
    }
}

TEST(SmfLenient, FileCutShortPlaysAsFarAsItGoesAndReleasesItsNotes) {
    const Bytes tempo = B({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}) + kEnd;  // 1 s per quarter
    const Bytes notes = B({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0x91, 62, 90, 0x60, 0x91, 64});
    const Bytes whole = smf(1, 96, {tempo, notes + B({80}) + kEnd});
    const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() - kEnd.size() - 1));

    EXPECT_THAT(reading(cut), ThrowsMessage<std::runtime_error>(HasSubstr("chunk length runs past end of file")));
    const MidiSong song = readSmf(cut, SmfReading::Lenient);
    // The cut note-on is dropped; key 62, still sounding, is released where the track ends.
    expectEvents(song, {{0, 0x90, 60, 100}, {1, 0x80, 60, 0}, {1, 0x91, 62, 90}, {1, 0x81, 62, 0}});
    EXPECT_EQ(song.lengthSeconds, 1.0);
    const std::size_t eventStart = 14 + 8 + tempo.size() + 8 + 12;
    EXPECT_THAT(song.cutShort, HasSubstr("track 2 ends early at byte " + std::to_string(eventStart)));
    EXPECT_EQ(readSmf(whole, SmfReading::Lenient).cutShort, "");

    // Missing tracks are data that ends early too; a file with nothing to play is still refused.
    const MidiSong firstTrack =
        readSmf(header(1, 2, 96) + chunk("MTrk", notes + B({80}) + kEnd) + text("MTrk"), SmfReading::Lenient);
    EXPECT_EQ(firstTrack.events.size(), 4u);
    EXPECT_THAT(firstTrack.cutShort, HasSubstr("truncated chunk header"));
    EXPECT_THAT([&] { readSmf(Bytes(cut.begin(), cut.begin() + 14 + 8 + 9), SmfReading::Lenient); },
                ThrowsMessage<std::runtime_error>(HasSubstr("before any channel event")));
    // Any other fault is refused, cut or not.
    const Bytes faulty = smf(1, 96, {B({0x00, 0x90, 60, 0x90, 0x00}) + kEnd});
    EXPECT_THAT([&] { readSmf(std::span(faulty).first(faulty.size() - 2), SmfReading::Lenient); },
                ThrowsMessage<std::runtime_error>(HasSubstr("status byte 0x90 where a data byte")));
}

TEST(SmfFile, ReadsFromDiskAndNamesThePathInErrors) {
    const auto dir = std::filesystem::path(::testing::TempDir());
    const auto good = dir / "smf-good.mid", bad = dir / "smf-bad.mid";
    const Bytes file = writeSmf({{0.5, 0x90, 60, 100}});
    std::ofstream(good, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    std::ofstream(bad, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size() - 2));
    expectEvents(readSmfFile(good), {{0.5, 0x90, 60, 100}});
    EXPECT_THAT([&] { readSmfFile(bad); },
                ThrowsMessage<std::runtime_error>(HasSubstr(bad.string() + ": chunk length runs past")));
    EXPECT_THAT([&] { readSmfFile(dir / "smf-missing.mid"); },
                ThrowsMessage<std::runtime_error>(HasSubstr("smf-missing.mid: cannot read")));
    std::filesystem::remove(good);
    std::filesystem::remove(bad);
}

}  // namespace
