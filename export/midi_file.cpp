#include "export/midi_file.h"

#include <algorithm>
#include <cstring>

namespace bleeptone {

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putVarLen(std::vector<std::uint8_t>& out, std::uint32_t v) {
    v = std::min(v, kMaxMidiDelta);
    std::uint8_t bytes[4];
    int n = 0;
    do {
        bytes[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(bytes[--n] | 0x80));
    out.push_back(bytes[0]);
}

int dataBytes(std::uint8_t kind) { return kind == midi::Program || kind == midi::ChannelPressure ? 1 : 2; }

void putEvent(std::vector<std::uint8_t>& out, const MidiEvent& e) {
    out.push_back(e.status);
    if (e.status == midi::Meta) {
        out.push_back(e.data1);
        putVarLen(out, static_cast<std::uint32_t>(e.payload.size()));
    } else if (e.status == midi::SysEx || e.status == midi::SysExEscape) {
        putVarLen(out, static_cast<std::uint32_t>(e.payload.size()));
    } else {
        out.push_back(e.data1 & 0x7F);
        if (dataBytes(e.kind()) == 2) out.push_back(e.data2 & 0x7F);
        return;
    }
    out.insert(out.end(), e.payload.begin(), e.payload.end());
}

// Reads big-endian numbers and variable-length quantities without ever
// passing the end.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t left() const { return size_ - pos_; }
    bool done() const { return pos_ >= size_; }
    std::size_t pos() const { return pos_; }

    bool byte(std::uint8_t& v) {
        if (done()) return false;
        v = data_[pos_++];
        return true;
    }
    bool peek(std::uint8_t& v) const {
        if (done()) return false;
        v = data_[pos_];
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (left() < 2) return false;
        v = static_cast<std::uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (left() < 4) return false;
        v = static_cast<std::uint32_t>(data_[pos_]) << 24 | static_cast<std::uint32_t>(data_[pos_ + 1]) << 16 |
            static_cast<std::uint32_t>(data_[pos_ + 2]) << 8 | data_[pos_ + 3];
        pos_ += 4;
        return true;
    }
    bool u32le(std::uint32_t& v) {
        if (left() < 4) return false;
        v = static_cast<std::uint32_t>(data_[pos_ + 3]) << 24 | static_cast<std::uint32_t>(data_[pos_ + 2]) << 16 |
            static_cast<std::uint32_t>(data_[pos_ + 1]) << 8 | data_[pos_];
        pos_ += 4;
        return true;
    }
    // At most four bytes, as the format allows.
    bool varLen(std::uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!byte(b)) return false;
            v = v << 7 | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    }
    bool tag(const char* name) {
        if (left() < 4 || std::memcmp(data_ + pos_, name, 4) != 0) return false;
        pos_ += 4;
        return true;
    }
    bool skip(std::size_t n) {
        if (left() < n) return false;
        pos_ += n;
        return true;
    }
    bool bytes(std::size_t n, std::string& out) {
        if (left() < n) return false;
        out.assign(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return true;
    }
    const std::uint8_t* here() const { return data_ + pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

bool keptMeta(std::uint8_t type) {
    return type == midi::MetaTrackName || type == midi::MetaEndOfTrack || type == midi::MetaTempo ||
           type == midi::MetaTimeSignature || type == midi::MetaKeySignature;
}

// Reads one event into e (time already read); returns what went wrong, or null.
const char* readEvent(ByteReader& in, std::uint8_t& running, MidiEvent& e, bool& keep) {
    keep = false;
    std::uint8_t first = 0;
    if (!in.byte(first)) return "the track ends inside an event";
    if (first < 0x80) {
        if (running == 0) return "a data byte where an event should start";
        e.status = running;
    } else {
        e.status = first;
    }
    if (e.status < 0xF0) {
        running = e.status;
        std::uint8_t d[2] = {0, 0};
        const int n = dataBytes(e.kind());
        int got = 0;
        if (first < 0x80) d[got++] = first;
        for (; got < n; ++got)
            if (!in.byte(d[got])) return "the track ends inside an event";
        if ((d[0] | d[1]) & 0x80) return "a status byte inside an event's data";
        e.data1 = d[0];
        e.data2 = d[1];
        keep = true;
        return nullptr;
    }
    running = 0;  // metas and sysex cancel running status
    std::uint32_t length = 0;
    if (e.status == midi::Meta) {
        if (!in.byte(e.data1) || !in.varLen(length) || length > in.left()) return "an event that runs past the track";
        keep = keptMeta(e.data1);
        if (keep) {
            in.bytes(length, e.payload);
            return nullptr;
        }
        in.skip(length);
        return nullptr;
    }
    if (e.status == midi::SysEx || e.status == midi::SysExEscape) {
        if (!in.varLen(length) || !in.skip(length)) return "an event that runs past the track";
        return nullptr;
    }
    return "a status byte that files do not hold";
}

// One track chunk's events; the first fault ends the track there.
MidiTrack readTrack(ByteReader in, int trackNumber, std::vector<std::string>& problems) {
    MidiTrack track;
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (!in.done()) {
        std::uint32_t delta = 0;
        const char* problem = nullptr;
        MidiEvent e;
        bool keep = false;
        if (!in.varLen(delta))
            problem = "a time that runs past the track or beyond four bytes";
        else
            problem = readEvent(in, running, e, keep);
        if (problem) {
            problems.push_back("track " + std::to_string(trackNumber) + ": " + problem +
                               "; the rest of the track is skipped");
            break;
        }
        tick += delta;
        e.tick = tick;
        if (!keep) continue;
        const bool end = e.isMeta(midi::MetaEndOfTrack);
        track.events.push_back(std::move(e));
        if (end) break;
    }
    return track;
}

// The Standard MIDI File inside a RIFF RMID wrapper, or the bytes as they are.
std::span<const std::uint8_t> unwrapRiff(std::span<const std::uint8_t> bytes) {
    ByteReader in(bytes.data(), bytes.size());
    std::uint32_t size = 0;
    if (!in.tag("RIFF") || !in.u32le(size) || !in.tag("RMID")) return bytes;
    while (in.left() >= 8) {
        const bool data = in.tag("data");
        if (!data) in.skip(4);
        std::uint32_t length = 0;
        in.u32le(length);
        if (data) return {in.here(), std::min<std::size_t>(length, in.left())};
        if (!in.skip(length + (length & 1))) break;
    }
    return {};
}

}  // namespace

double MidiFile::smpteTicksPerSecond() const {
    if (!smpte()) return 0;
    const int fps = -static_cast<std::int8_t>(division >> 8);
    const double frames = fps == 29 ? 29.97 : fps;
    return frames * (division & 0xFF);
}

MidiTempoMap::MidiTempoMap(const MidiFile& file)
    : ticksPerQuarter_(file.smpte() ? 1 : file.division), smpteTicksPerSecond_(file.smpteTicksPerSecond()) {
    std::vector<Change> all;
    for (const MidiTrack& track : file.tracks)
        for (const MidiEvent& e : track.events)
            if (const auto tempo = tempoOf(e)) all.push_back({e.tick, *tempo});
    std::stable_sort(all.begin(), all.end(), [](const Change& a, const Change& b) { return a.tick < b.tick; });
    changes_.push_back({});
    for (const Change& c : all) {
        if (c.tick == changes_.back().tick)
            changes_.back().tempo = c.tempo;
        else if (c.tempo != changes_.back().tempo)
            changes_.push_back(c);
    }
    double at = 0;
    for (std::size_t i = 0; i < changes_.size(); ++i) {
        if (i > 0)
            at += static_cast<double>(changes_[i].tick - changes_[i - 1].tick) * changes_[i - 1].tempo * 1e-6 /
                  ticksPerQuarter_;
        startSeconds_.push_back(at);
    }
}

double MidiTempoMap::seconds(std::uint64_t tick) const {
    if (smpteTicksPerSecond_ > 0) return static_cast<double>(tick) / smpteTicksPerSecond_;
    const auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                        [](std::uint64_t t, const Change& c) { return t < c.tick; });
    const std::size_t i = static_cast<std::size_t>(after - changes_.begin()) - 1;
    return startSeconds_[i] +
           static_cast<double>(tick - changes_[i].tick) * changes_[i].tempo * 1e-6 / ticksPerQuarter_;
}

MidiEvent channelEvent(std::uint64_t tick, std::uint8_t kind, int channel, int data1, int data2) {
    MidiEvent e;
    e.tick = tick;
    e.status = static_cast<std::uint8_t>((kind & 0xF0) | (channel & 0x0F));
    e.data1 = static_cast<std::uint8_t>(data1 & 0x7F);
    e.data2 = static_cast<std::uint8_t>(data2 & 0x7F);
    return e;
}

MidiEvent metaEvent(std::uint64_t tick, std::uint8_t type, std::string payload) {
    MidiEvent e;
    e.tick = tick;
    e.status = midi::Meta;
    e.data1 = type;
    e.payload = std::move(payload);
    return e;
}

MidiEvent tempoEvent(std::uint64_t tick, std::uint32_t microsecondsPerQuarter) {
    std::string p(3, '\0');
    for (int i = 0; i < 3; ++i) p[i] = static_cast<char>(microsecondsPerQuarter >> (16 - 8 * i));
    return metaEvent(tick, midi::MetaTempo, std::move(p));
}

std::optional<std::uint32_t> tempoOf(const MidiEvent& event) {
    if (!event.isMeta(midi::MetaTempo) || event.payload.size() < 3) return std::nullopt;
    const auto b = [&](int i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(event.payload[i])); };
    const std::uint32_t tempo = b(0) << 16 | b(1) << 8 | b(2);
    if (tempo == 0) return std::nullopt;
    return tempo;
}

std::vector<std::uint8_t> midiFileBytes(const MidiFile& file) {
    std::vector<std::uint8_t> out;
    out.insert(out.end(), {'M', 'T', 'h', 'd'});
    putU32(out, 6);
    putU16(out, static_cast<std::uint16_t>(file.format));
    putU16(out, static_cast<std::uint16_t>(file.tracks.size()));
    putU16(out, file.division);
    for (const MidiTrack& track : file.tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        const std::size_t lengthAt = out.size();
        putU32(out, 0);
        std::uint64_t tick = 0;
        bool ended = false;
        for (const MidiEvent& e : track.events) {
            putVarLen(out, static_cast<std::uint32_t>(
                               std::min<std::uint64_t>(e.tick - std::min(e.tick, tick), kMaxMidiDelta)));
            tick = std::max(tick, e.tick);
            putEvent(out, e);
            ended = e.isMeta(midi::MetaEndOfTrack);
            if (ended) break;
        }
        if (!ended) {
            putVarLen(out, 0);
            putEvent(out, metaEvent(tick, midi::MetaEndOfTrack, {}));
        }
        const auto length = static_cast<std::uint32_t>(out.size() - lengthAt - 4);
        for (int i = 0; i < 4; ++i) out[lengthAt + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return out;
}

MidiReadResult readMidiFile(std::span<const std::uint8_t> raw) {
    MidiReadResult result;
    if (raw.size() > kMaxMidiFileBytes) {
        result.error = "the file is larger than " + std::to_string(kMaxMidiFileBytes / (1024 * 1024)) + " MiB";
        return result;
    }
    const std::span<const std::uint8_t> bytes = unwrapRiff(raw);
    ByteReader in(bytes.data(), bytes.size());
    std::uint32_t headerLength = 0;
    std::uint16_t format = 0, declaredTracks = 0;
    MidiFile file;
    if (!in.tag("MThd") || !in.u32(headerLength) || headerLength < 6 || !in.u16(format) || !in.u16(declaredTracks) ||
        !in.u16(file.division)) {
        result.error = "not a MIDI file";
        return result;
    }
    if (format > 1) {
        result.error = format == 2 ? "format 2 (independent sequences) is not supported"
                                   : "format " + std::to_string(format) + " is not a MIDI file format";
        return result;
    }
    if (file.division == 0 || (file.smpte() && file.smpteTicksPerSecond() <= 0)) {
        result.error = "the file's timing (division) is invalid";
        return result;
    }
    file.format = format;
    if (!in.skip(headerLength - 6)) {
        result.error = "not a MIDI file";
        return result;
    }
    while (in.left() >= 8 && file.tracks.size() < 0xFFFF) {
        const bool isTrack = in.tag("MTrk");
        if (!isTrack) in.skip(4);
        std::uint32_t length = 0;
        in.u32(length);
        if (length > in.left()) {
            result.problems.push_back("the file is cut short");
            length = static_cast<std::uint32_t>(in.left());
        }
        if (isTrack)
            file.tracks.push_back(
                readTrack(ByteReader(in.here(), length), static_cast<int>(file.tracks.size()) + 1, result.problems));
        in.skip(length);
    }
    if (file.tracks.size() < declaredTracks && result.problems.empty())
        result.problems.push_back("the file holds " + std::to_string(file.tracks.size()) + " of its " +
                                  std::to_string(declaredTracks) + " tracks");
    if (file.tracks.empty()) {
        result.error = "the file holds no tracks";
        return result;
    }
    result.file = std::move(file);
    return result;
}

}  // namespace bleeptone
