// Standard MIDI File reader (formats 0 and 1, tempo map, SMPTE time) and type-0 writer.
#include "Host/Smf.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

constexpr std::size_t kMaxFileBytes = std::size_t(64) << 20;
constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000;

std::string hexByte(unsigned b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b & 0xFFu);
    return text;
}

std::uint8_t at(std::span<const std::byte> bytes, std::size_t i) { return std::to_integer<std::uint8_t>(bytes[i]); }

std::uint32_t bigEndian(std::span<const std::byte> bytes, std::size_t i, int count) {
    std::uint32_t v = 0;
    for (int k = 0; k < count; ++k) v = (v << 8) | at(bytes, i + std::size_t(k));
    return v;
}

// Chunk IDs come from the file: show them printable.
std::string chunkName(std::span<const std::byte> bytes, std::size_t i) {
    std::string name;
    for (int k = 0; k < 4; ++k) {
        const char c = char(at(bytes, i + std::size_t(k)));
        name += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return name;
}

struct TickEvent {
    std::uint64_t tick;
    std::uint8_t status, data1, data2;
};

struct TempoChange {
    std::uint64_t tick;
    std::uint32_t microsPerQuarter;
};

// Thrown by a cursor over a track that the end of the file cut short, when an
// event runs into the cut; the reader stops the track there.
struct TrackCut {};

// Walks the bytes of one MTrk chunk; every read is bounded by the chunk, whose
// length has already been checked against the file, or by the end of the file
// when the chunk runs past it (`cut`).
class TrackCursor {
public:
    TrackCursor(std::span<const std::byte> file, std::size_t begin, std::size_t end, int track, bool cut)
        : mFile(file), mPos(begin), mEnd(end), mTrack(track), mCut(cut) {}

    bool atEnd() const { return mPos >= mEnd; }
    std::size_t pos() const { return mPos; }
    void beginEvent() { mEventStart = mPos; }

    std::uint8_t byte() {
        if (mPos >= mEnd) {
            if (mCut) throw TrackCut{};
            throw std::runtime_error("truncated track " + std::to_string(mTrack) + " at byte " +
                                     std::to_string(mEventStart) + " (event runs past the end of the track)");
        }
        return at(mFile, mPos++);
    }

    std::uint8_t dataByte() {
        const std::uint8_t b = byte();
        if (b >= 0x80) fail("status byte " + hexByte(b) + " where a data byte was expected", mPos - 1);
        return b;
    }

    // At most four bytes, so at most 0x0FFFFFFF.
    std::uint32_t vlq() {
        const std::size_t start = mPos;
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t b = byte();
            v = (v << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) return v;
        }
        fail("variable-length quantity longer than 4 bytes", start);
    }

    void skip(std::uint32_t count) {
        if (count > mEnd - mPos) {
            if (mCut) throw TrackCut{};
            throw std::runtime_error("truncated track " + std::to_string(mTrack) + " at byte " +
                                     std::to_string(mEventStart) + " (event of " + std::to_string(count) +
                                     " bytes runs past the end of the track)");
        }
        mPos += count;
    }

    [[noreturn]] void fail(const std::string& what, std::size_t where) const {
        throw std::runtime_error(what + " in track " + std::to_string(mTrack) + " at byte " + std::to_string(where));
    }

    std::size_t eventStart() const { return mEventStart; }

private:
    std::span<const std::byte> mFile;
    std::size_t mPos, mEnd, mEventStart = 0;
    int mTrack;
    bool mCut;
};

class SmfReader {
public:
    SmfReader(std::span<const std::byte> bytes, SmfReading reading)
        : mBytes(bytes), mLenient(reading == SmfReading::Lenient) {}

    MidiSong read() {
        readHeader();
        std::size_t pos = mFirstChunk;
        int tracksRead = 0;
        // The declared count is authoritative: bytes after the last declared track are not read.
        while (tracksRead < mTrackCount && mCutShort.empty()) {
            if (pos == mBytes.size()) {
                endsEarly("file declares " + std::to_string(mTrackCount) + (mTrackCount == 1 ? " track" : " tracks") +
                          " but has only " + std::to_string(tracksRead));
                break;
            }
            if (mBytes.size() - pos < 8) {
                endsEarly("truncated chunk header at byte " + std::to_string(pos));
                break;
            }
            const std::string id = chunkName(mBytes, pos);
            const std::uint32_t length = bigEndian(mBytes, pos + 4, 4);
            const bool cut = length > mBytes.size() - pos - 8;
            std::string what;
            if (cut) {
                what = "chunk length runs past end of file ('" + id + "' chunk at byte " + std::to_string(pos) + ", " +
                       std::to_string(length) + " bytes)";
                if (id != "MTrk") {
                    endsEarly(what);
                    break;
                }
                if (!mLenient) throw std::runtime_error(what);
            }
            if (id == "MTrk") readTrack(pos + 8, cut ? mBytes.size() : pos + 8 + length, ++tracksRead, cut);
            if (cut) {
                if (mCutShort.empty()) mCutShort = what;  // its end-of-track came before the cut
                break;
            }
            pos += 8 + std::size_t(length);
        }
        // A cut file is worth playing only for what it holds.
        if (!mCutShort.empty() && mEvents.empty()) throw std::runtime_error(mCutShort + ", before any channel event");
        return timed();
    }

private:
    void readHeader() {
        if (mBytes.size() < 4 || chunkName(mBytes, 0) != "MThd")
            throw std::runtime_error("not a Standard MIDI File (no MThd header)");
        if (mBytes.size() < 14) throw std::runtime_error("truncated MThd header");
        const std::uint32_t length = bigEndian(mBytes, 4, 4);
        if (length < 6) throw std::runtime_error("MThd header length " + std::to_string(length) + " is less than 6");
        if (length > mBytes.size() - 8) throw std::runtime_error("chunk length runs past end of file (MThd header)");
        mFirstChunk = 8 + std::size_t(length);  // longer headers carry fields we do not know

        const std::uint32_t format = bigEndian(mBytes, 8, 2);
        if (format == 2) throw std::runtime_error("format 2 (independent sequences) is not supported");
        if (format > 2) throw std::runtime_error("unknown format " + std::to_string(format));
        mTrackCount = int(bigEndian(mBytes, 10, 2));
        if (mTrackCount == 0) throw std::runtime_error("file declares no tracks");
        if (format == 0 && mTrackCount != 1)
            throw std::runtime_error("format 0 file declares " + std::to_string(mTrackCount) + " tracks (must be 1)");

        const std::uint8_t hi = at(mBytes, 12), lo = at(mBytes, 13);
        if (hi == 0 && lo == 0) throw std::runtime_error("zero division (ticks per quarter note)");
        if (hi & 0x80) {
            // SMPTE: the high byte is minus the frame rate; 29 stands for 29.97 (drop frame).
            const int fps = -int(std::int8_t(hi));
            if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
                throw std::runtime_error("SMPTE division with unknown frame rate " + std::to_string(fps));
            if (lo == 0) throw std::runtime_error("SMPTE division with zero ticks per frame");
            mSmpteNum = fps == 29 ? 1001.0 : 1.0;
            mSmpteDen = fps == 29 ? 30000.0 * lo : double(fps) * lo;
        } else {
            mTicksPerQuarter = (unsigned(hi) << 8) | lo;
        }
    }

    // Strict reading refuses a file that ends early; lenient reading notes where.
    void endsEarly(const std::string& what) {
        if (!mLenient) throw std::runtime_error(what);
        mCutShort = what;
    }

    void readTrack(std::size_t begin, std::size_t end, int track, bool cut) {
        TrackCursor in(mBytes, begin, end, track, cut);
        std::uint64_t tick = 0, completeTick = 0;
        std::uint8_t running = 0;
        std::array<std::bitset<128>, 16> sounding;  // by channel and key, for releasing them at a cut
        bool ended = false;
        std::size_t cutAt = end;  // the start of the event the cut falls in, or the end of the data
        try {
            while (!in.atEnd()) {
                in.beginEvent();
                tick += in.vlq();
                const std::uint8_t first = in.byte();
                if (first < 0xF0) {
                    std::uint8_t status = first, data1;
                    if (first < 0x80) {
                        if (!running) in.fail("data byte " + hexByte(first) + " with no running status", in.pos() - 1);
                        status = running;
                        data1 = first;
                    } else {
                        running = first;
                        data1 = in.dataByte();
                    }
                    const std::uint8_t kind = status & 0xF0;
                    const std::uint8_t data2 = (kind == 0xC0 || kind == 0xD0) ? 0 : in.dataByte();
                    mEvents.push_back({tick, status, data1, data2});
                    if (kind == 0x90 || kind == 0x80) sounding[status & 0x0F][data1] = kind == 0x90 && data2 > 0;
                } else if (first == 0xFF) {
                    const std::uint8_t type = in.byte();
                    const std::uint32_t length = in.vlq();
                    running = 0;  // meta and sysex events cancel running status
                    if (type == 0x51) {
                        if (length != 3)
                            in.fail("tempo event of length " + std::to_string(length) + " (must be 3)",
                                    in.eventStart());
                        std::uint32_t micros = 0;
                        for (int k = 0; k < 3; ++k) micros = (micros << 8) | in.byte();
                        if (micros == 0) in.fail("tempo of zero microseconds per quarter note", in.eventStart());
                        mTempos.push_back({tick, micros});
                    } else {
                        in.skip(length);
                        if (type == 0x2F) {  // anything after the end of track is padding
                            completeTick = tick;
                            ended = true;
                            break;
                        }
                    }
                } else if (first == 0xF0 || first == 0xF7) {
                    in.skip(in.vlq());
                    running = 0;
                } else {
                    in.fail("system message " + hexByte(first) + " is not allowed in a track", in.pos() - 1);
                }
                completeTick = tick;
            }
        } catch (const TrackCut&) {
            cutAt = in.eventStart();
        }
        // A cut track ends where its last complete event does, even when the cut falls between events.
        if (cut && !ended) {
            mCutShort = "track " + std::to_string(track) + " ends early at byte " + std::to_string(cutAt) +
                        " (its chunk runs past the end of the file)";
            for (unsigned channel = 0; channel < 16; ++channel)
                for (unsigned key = 0; key < 128; ++key)
                    if (sounding[channel][key])
                        mEvents.push_back({completeTick, std::uint8_t(0x80 | channel), std::uint8_t(key), 0});
        }
        mEndTick = std::max(mEndTick, completeTick);
    }

    // Piecewise tempo map over ticks; with SMPTE time, ticks are fixed and tempo is ignored.
    MidiSong timed() {
        // From its tick on, a tick lasts num / den seconds; kept as a ratio for one rounding less.
        struct Segment {
            std::uint64_t tick;
            double seconds, num, den;
        };
        std::vector<Segment> segments;
        if (mTicksPerQuarter == 0) {
            segments.push_back({0, 0.0, mSmpteNum, mSmpteDen});
        } else {
            // Several changes at one tick: the lookup below takes the last (in track order).
            std::stable_sort(mTempos.begin(), mTempos.end(),
                             [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
            const double den = 1e6 * double(mTicksPerQuarter);  // num: microseconds per quarter
            segments.push_back({0, 0.0, double(kDefaultMicrosPerQuarter), den});
            for (const TempoChange& t : mTempos) {
                const Segment& last = segments.back();
                const double start = last.seconds + double(t.tick - last.tick) * last.num / last.den;
                segments.push_back({t.tick, start, double(t.microsPerQuarter), den});
            }
        }
        auto seconds = [&](std::uint64_t tick) {
            const auto s = std::prev(std::upper_bound(segments.begin(), segments.end(), tick,
                                                      [](std::uint64_t t, const Segment& g) { return t < g.tick; }));
            return s->seconds + double(tick - s->tick) * s->num / s->den;
        };

        std::stable_sort(mEvents.begin(), mEvents.end(),
                         [](const TickEvent& a, const TickEvent& b) { return a.tick < b.tick; });
        MidiSong song;
        song.events.reserve(mEvents.size());
        for (const TickEvent& e : mEvents) song.events.push_back({seconds(e.tick), e.status, e.data1, e.data2});
        song.lengthSeconds = seconds(mEndTick);
        song.cutShort = mCutShort;
        return song;
    }

    std::span<const std::byte> mBytes;
    bool mLenient;
    std::string mCutShort;
    std::size_t mFirstChunk = 0;
    int mTrackCount = 0;
    unsigned mTicksPerQuarter = 0;        // 0 with SMPTE time
    double mSmpteNum = 0, mSmpteDen = 0;  // seconds per tick with SMPTE time; 29.97 fps as 30000/1001
    std::vector<TickEvent> mEvents;       // track after track, each in file order
    std::vector<TempoChange> mTempos;
    std::uint64_t mEndTick = 0;
};

void putBigEndian(std::vector<std::byte>& out, std::uint32_t v, int count) {
    for (int k = count - 1; k >= 0; --k) out.push_back(std::byte((v >> (8 * k)) & 0xFF));
}

void putVlq(std::vector<std::byte>& out, std::uint32_t v) {
    std::byte groups[4];
    int n = 0;
    do {
        groups[n++] = std::byte(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n > 1) out.push_back(groups[--n] | std::byte(0x80));
    out.push_back(groups[0]);
}

}  // namespace

MidiSong readSmf(std::span<const std::byte> bytes, SmfReading reading) {
    if (bytes.size() > kMaxFileBytes) throw std::runtime_error("file is larger than 64 MiB");
    return SmfReader(bytes, reading).read();
}

MidiSong readSmfFile(const std::filesystem::path& path, SmfReading reading) {
    const std::string name = path.string();
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) throw std::runtime_error(name + ": cannot read (" + error.message() + ")");
    if (size > kMaxFileBytes) throw std::runtime_error(name + ": file is larger than 64 MiB");
    std::vector<std::byte> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)))
        throw std::runtime_error(name + ": cannot read");
    try {
        return readSmf(bytes, reading);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(name + ": " + e.what());
    }
}

std::vector<std::byte> writeSmf(const std::vector<MidiEvent>& events, int ticksPerQuarter, double bpm) {
    if (ticksPerQuarter < 1 || ticksPerQuarter > 0x7FFF)
        throw std::invalid_argument("ticks per quarter note must be 1..32767, not " + std::to_string(ticksPerQuarter));
    if (!std::isfinite(bpm) || bpm <= 0)
        throw std::invalid_argument("tempo must be a positive number of beats per minute");
    const long long micros = std::llround(60e6 / bpm);
    if (micros < 1 || micros > 0xFFFFFF)
        throw std::invalid_argument("tempo of " + std::to_string(bpm) + " bpm cannot be stored");

    const double ticksPerSecond = 1e6 * double(ticksPerQuarter) / double(micros);
    struct Placed {
        std::uint64_t tick;
        const MidiEvent* event;
    };
    std::vector<Placed> placed;
    placed.reserve(events.size());
    for (const MidiEvent& e : events) {
        if (e.status < 0x80 || e.status > 0xEF)
            throw std::invalid_argument("status " + hexByte(e.status) + " is not a channel message");
        if (e.data1 > 0x7F || e.data2 > 0x7F) throw std::invalid_argument("data byte above 0x7F");
        // A day is far beyond any song and keeps the tick count in range.
        if (!std::isfinite(e.seconds) || e.seconds < 0 || e.seconds > 86400)
            throw std::invalid_argument("event time must be 0..86400 seconds");
        placed.push_back({std::uint64_t(std::llround(e.seconds * ticksPerSecond)), &e});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.tick < b.tick; });

    std::vector<std::byte> track;
    track.reserve(placed.size() * 4 + 16);
    putVlq(track, 0);
    for (unsigned b : {0xFFu, 0x51u, 0x03u}) track.push_back(std::byte(b));
    putBigEndian(track, std::uint32_t(micros), 3);
    std::uint64_t previous = 0;
    std::uint8_t running = 0;
    for (const Placed& p : placed) {
        const std::uint64_t delta = p.tick - previous;
        if (delta > 0x0FFFFFFF) throw std::invalid_argument("gap between events too long for one delta time");
        putVlq(track, std::uint32_t(delta));
        const MidiEvent& e = *p.event;
        if (e.status != running) track.push_back(std::byte(e.status));
        running = e.status;
        track.push_back(std::byte(e.data1));
        const std::uint8_t kind = e.status & 0xF0;
        if (kind != 0xC0 && kind != 0xD0) track.push_back(std::byte(e.data2));
        previous = p.tick;
    }
    putVlq(track, 0);
    for (unsigned b : {0xFFu, 0x2Fu, 0x00u}) track.push_back(std::byte(b));

    std::vector<std::byte> file;
    file.reserve(22 + track.size());
    for (char c : {'M', 'T', 'h', 'd'}) file.push_back(std::byte(c));
    putBigEndian(file, 6, 4);
    putBigEndian(file, 0, 2);  // format 0
    putBigEndian(file, 1, 2);  // one track
    putBigEndian(file, std::uint32_t(ticksPerQuarter), 2);
    for (char c : {'M', 'T', 'r', 'k'}) file.push_back(std::byte(c));
    putBigEndian(file, std::uint32_t(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

void writeSmfFile(const std::filesystem::path& path, const std::vector<MidiEvent>& events, int ticksPerQuarter,
                  double bpm) {
    const std::vector<std::byte> bytes = writeSmf(events, ticksPerQuarter, bpm);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())) || !out.flush())
        throw std::runtime_error(path.string() + ": cannot write");
}
