#include "export/midi_export.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

#include "engine/staged_file.h"
#include "export/midi_gm.h"

namespace bleeptone {

namespace {

constexpr std::uint32_t kMaxDivision = 0x7FFF;
constexpr std::uint32_t kPreferredDivision = 960;
// An engine tick in microseconds is 459 / 44100 s = 510000 / 49 us.
constexpr double kTickMicroseconds = 510000.0 / 49.0;

// Engine ticks in a quarter note at a tempo code.
int quarterTicks(std::int32_t tempo) { return (18 - (tempo & 15)) * 8; }

// A stretch of the grid channel's song at one tempo.
struct TempoSpan {
    std::uint64_t frame = 0;  // where it starts (a tick's frame)
    int quarter = 48;         // engine ticks per quarter note
    std::uint64_t midiTick = 0;
    std::uint32_t perTick = 1;  // MIDI ticks per engine tick
};

// The first channel that plays sets the beat: its tempo wherever it changes.
std::vector<TempoSpan> gridSpans(const NoteMap& map) {
    std::vector<TempoSpan> spans;
    for (const MappedChannel& ch : map.channels) {
        if (ch.notes.empty()) continue;
        for (const MappedNote& n : ch.notes) {
            const int q = quarterTicks(n.settings.Tempo);
            if (spans.empty() || spans.back().quarter != q) spans.push_back({spans.empty() ? 0 : n.start, q});
        }
        break;
    }
    if (spans.empty()) spans.push_back({0, quarterTicks(12)});
    return spans;
}

std::uint64_t overlap(std::uint64_t a0, std::uint64_t a1, std::uint64_t b0, std::uint64_t b1) {
    const std::uint64_t lo = std::max(a0, b0), hi = std::min(a1, b1);
    return hi > lo ? hi - lo : 0;
}

std::uint32_t perTickOf(std::uint32_t division, int quarter) {
    if (division % quarter == 0) return division / quarter;
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(double(division) / quarter)));
}

// Sets each span's MIDI ticks per engine tick and where it starts; returns
// the MIDI tick of `end`.
std::uint64_t placeSpans(std::vector<TempoSpan>& spans, std::uint32_t division, std::uint64_t end) {
    std::uint64_t tick = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        spans[i].perTick = perTickOf(division, spans[i].quarter);
        spans[i].midiTick = tick;
        const std::uint64_t next = i + 1 < spans.size() ? spans[i + 1].frame : std::max(end, spans[i].frame);
        tick += (next - spans[i].frame) / kTickSamples * spans[i].perTick;
    }
    return tick;
}

// The division: a multiple of the quarter notes of as many of the grid's
// tempos as fit (the longest-heard first), near 960, and small enough that
// the whole file stays within the ticks a delta can span.
std::uint32_t chooseDivision(std::vector<TempoSpan> spans, std::uint64_t from, std::uint64_t to) {
    std::vector<std::pair<std::uint64_t, int>> heard;  // (frames heard, quarter)
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const std::uint64_t next = i + 1 < spans.size() ? spans[i + 1].frame : UINT64_MAX;
        const std::uint64_t frames = overlap(spans[i].frame, next, from, to);
        auto it = std::find_if(heard.begin(), heard.end(), [&](const auto& h) { return h.second == spans[i].quarter; });
        if (it == heard.end())
            heard.push_back({frames, spans[i].quarter});
        else
            it->first += frames;
    }
    std::stable_sort(heard.begin(), heard.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::uint32_t common = 1;
    for (const auto& h : heard) {
        const std::uint32_t l = std::lcm(common, static_cast<std::uint32_t>(h.second));
        if (l <= kMaxDivision) common = l;
    }
    for (std::uint32_t times = std::max<std::uint32_t>(1, kPreferredDivision / common); times >= 1; --times)
        if (placeSpans(spans, common * times, to) <= kMaxMidiDelta) return common * times;
    // A song too long for its tempos' common multiple: the main tempo alone.
    return static_cast<std::uint32_t>(heard.front().second);
}

class MidiClock {
public:
    MidiClock(std::vector<TempoSpan> spans, std::uint32_t division, std::uint64_t end)
        : spans_(std::move(spans)), division_(division) {
        placeSpans(spans_, division_, end);
    }
    std::uint32_t division() const { return division_; }
    const std::vector<TempoSpan>& spans() const { return spans_; }

    // The MIDI tick of a frame: exact on an engine tick, rounded between.
    std::uint64_t tickAt(std::uint64_t frame) const {
        const TempoSpan& s = spanAt(frame);
        const std::uint64_t frames = frame - s.frame;
        return s.midiTick + (frames * s.perTick * 2 + kTickSamples) / (2 * kTickSamples);
    }
    std::uint32_t perTickAt(std::uint64_t frame) const { return spanAt(frame).perTick; }

private:
    const TempoSpan& spanAt(std::uint64_t frame) const {
        const auto after = std::upper_bound(spans_.begin(), spans_.end(), frame,
                                            [](std::uint64_t f, const TempoSpan& s) { return f < s.frame; });
        return after == spans_.begin() ? spans_.front() : *(after - 1);
    }
    std::vector<TempoSpan> spans_;
    std::uint32_t division_;
};

// The file's own ticks: tick 0 is the file's first sample. A file that
// starts between two engine ticks (--start) gives the part of a tick before
// the first one whole MIDI ticks of an engine tick and a tempo of its own,
// so that from there on every note lands on a MIDI tick exactly again.
class FileClock {
public:
    FileClock(const MidiClock& clock, std::uint64_t from, std::uint64_t to) : clock_(clock), from_(from), to_(to) {
        first_ = (from + kTickSamples - 1) / kTickSamples * kTickSamples;
        lead_ = first_ > from ? clock.perTickAt(first_) : 0;
        origin_ = clock.tickAt(first_) - lead_;
    }
    std::uint64_t tickOf(std::uint64_t frame) const {
        if (frame <= from_) return 0;
        if (frame >= first_) return clock_.tickAt(frame) - origin_;
        return ((frame - from_) * lead_ * 2 + (first_ - from_)) / (2 * (first_ - from_));
    }
    std::uint64_t end() const { return tickOf(to_); }
    // The tempo of the part-tick, and how far the file's clock leads the
    // engine's at its end (microseconds); no tempo when the file starts on a tick.
    std::optional<std::uint32_t> leadTempo(double& drift) const {
        drift = 0;
        if (lead_ == 0) return std::nullopt;
        const double micros = double(first_ - from_) * 1e6 / kSampleRate;
        const auto tempo =
            static_cast<std::uint32_t>(std::max(1.0, std::round(micros * clock_.division() / double(lead_))));
        drift = double(tempo) * double(lead_) / clock_.division() - micros;
        return tempo;
    }
    // The song's MIDI ticks from where the file's tick `lead` is.
    std::uint64_t songFrom() const { return clock_.tickAt(first_); }
    std::uint64_t lead() const { return lead_; }
    bool startsAfterEnd() const { return first_ >= to_; }

private:
    const MidiClock& clock_;
    std::uint64_t from_, to_, first_ = 0, lead_ = 0, origin_ = 0;
};

// The tempo events from MIDI tick `from` (absolute) to `to`, at ticks counted
// from `from` plus `shift`. A span's exact tempo lies between two whole numbers of
// microseconds; the lower one lets the file's clock fall behind the
// engine's, the upper one catch up, and the tempo switches whenever the
// difference reaches kMidiDriftMicroseconds. `drift` starts as the file's
// lead over the engine at `from`.
std::vector<MidiEvent> tempoEvents(const MidiClock& clock, std::uint64_t from, std::uint64_t to, std::uint64_t shift,
                                   double drift) {
    std::vector<MidiEvent> events;
    std::uint32_t last = 0;
    const auto put = [&](std::uint64_t tick, std::uint32_t tempo) {
        if (tempo == last) return;
        if (!events.empty() && events.back().tick == tick - from + shift)
            events.back() = tempoEvent(tick - from + shift, tempo);
        else
            events.push_back(tempoEvent(tick - from + shift, tempo));
        last = tempo;
    };
    const double division = clock.division();
    const auto& spans = clock.spans();
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const std::uint64_t spanEnd = i + 1 < spans.size() ? spans[i + 1].midiTick : UINT64_MAX;
        std::uint64_t t = std::max(spans[i].midiTick, from);
        const std::uint64_t end = std::min(spanEnd, to);
        // An empty file still gets the tempo in force at its start.
        if (t >= end && !(events.empty() && t == from && spanEnd > from)) continue;
        const double exact = division * kTickMicroseconds / spans[i].perTick;
        const double lower = std::floor(exact), upper = lower + 1;
        if (lower == exact) {
            put(t, static_cast<std::uint32_t>(exact));
            continue;
        }
        const auto rate = [&](double tempo) { return (tempo - exact) / division; };  // drift per MIDI tick
        double tempo = std::round(exact);
        if (std::abs(drift + rate(tempo) * double(end - t)) > kMidiDriftMicroseconds) tempo = drift > 0 ? lower : upper;
        put(t, static_cast<std::uint32_t>(tempo));
        while (t < end) {
            const double r = rate(tempo);
            const double bound = r > 0 ? kMidiDriftMicroseconds : -kMidiDriftMicroseconds;
            const double room = std::max(0.0, std::floor((bound - drift) / r));
            if (room >= double(end - t)) {
                drift += r * double(end - t);
                break;
            }
            const std::uint64_t step = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(room));
            t += step;
            drift += r * double(step);
            tempo = tempo == lower ? upper : lower;
            put(t, static_cast<std::uint32_t>(tempo));
        }
    }
    return events;
}

bool isNoise(int voice, const MappedNote& n) { return voice == 0 && (n.settings.Waveform & 7) == 5; }

std::string timeSignature(int beats) {
    // beats / 4, a click every quarter, eight 32nds to the quarter
    return std::string{static_cast<char>(beats), 2, 24, 8};
}

// An event with its order among the events of the same tick: note-offs,
// then program changes, then note-ons.
struct Placed {
    std::uint64_t tick;
    int order;
    MidiEvent event;
};

MidiTrack channelTrack(const MappedChannel& ch, int voice, const FileClock& clock, std::uint64_t from, std::uint64_t to,
                       const std::string& name, int& notes) {
    std::vector<Placed> placed;
    int program[16];
    std::fill(std::begin(program), std::end(program), -1);
    for (const MappedNote& n : ch.notes) {
        if (n.kind != NoteKind::Note || n.peakLevel == 0 || n.end() <= from || n.start >= to) continue;
        const std::uint64_t on = clock.tickOf(std::max(n.start, from));
        const std::uint64_t off = clock.tickOf(std::min(n.end(), to));
        if (off <= on) continue;
        const bool noise = isNoise(voice, n);
        const int channel = noise ? midi::PercussionChannel : voice;
        const int key = noise ? drumKeyOfNoise(n.midiNote()) : n.midiNote();
        if (!noise && program[channel] != programOfWaveform(n.settings.Waveform)) {
            program[channel] = programOfWaveform(n.settings.Waveform);
            placed.push_back({on, 1, channelEvent(on, midi::Program, channel, program[channel])});
        }
        placed.push_back({on, 2, channelEvent(on, midi::NoteOn, channel, key, velocityOfLevel(n.peakLevel))});
        placed.push_back({off, 0, channelEvent(off, midi::NoteOff, channel, key, 64)});
        ++notes;
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    MidiTrack track;
    track.events.push_back(metaEvent(0, midi::MetaTrackName, name));
    for (Placed& p : placed) track.events.push_back(std::move(p.event));
    return track;
}

}  // namespace

NoteMapLimits midiMapLimits(const MidiExportSpec& spec) {
    NoteMapLimits limits;
    limits.maxFrames = spec.startFrame + spec.frames.value_or(spec.maxFrames);
    limits.passes = spec.frames ? 0 : std::max(1, spec.passes);
    return limits;
}

MidiFile midiFileOfMap(const NoteMap& map, const MidiExportSpec& spec, MidiExportStats* stats) {
    const std::uint64_t from = spec.startFrame;
    const std::uint64_t to =
        std::max(from, spec.frames ? from + *spec.frames : std::min(map.frames, from + spec.maxFrames));
    const std::vector<TempoSpan> spans = gridSpans(map);
    const MidiClock songClock(spans, chooseDivision(spans, from, to), to);
    const FileClock clock(songClock, from, to);
    const std::uint64_t end = clock.end();

    MidiFile file;
    file.format = 1;
    file.division = static_cast<std::uint16_t>(songClock.division());
    MidiTrack tempoTrack;
    if (!spec.title.empty()) tempoTrack.events.push_back(metaEvent(0, midi::MetaTrackName, spec.title));
    tempoTrack.events.push_back(metaEvent(0, midi::MetaTimeSignature, timeSignature(spec.beatsPerMeasure)));
    double drift = 0;
    const std::optional<std::uint32_t> leadTempo = clock.leadTempo(drift);
    if (leadTempo) tempoTrack.events.push_back(tempoEvent(0, *leadTempo));
    if (!leadTempo || !clock.startsAfterEnd()) {
        const std::uint64_t songFrom = clock.songFrom();
        const std::uint64_t songTo = songFrom + (end - std::min(end, clock.lead()));
        for (MidiEvent& e : tempoEvents(songClock, songFrom, songTo, clock.lead(), drift))
            tempoTrack.events.push_back(std::move(e));
    }
    tempoTrack.events.push_back(metaEvent(end, midi::MetaEndOfTrack, {}));
    file.tracks.push_back(std::move(tempoTrack));

    int notes = 0;
    for (int k = 0; k < kVoices; ++k) {
        const int channel = map.channels[k].channel > 0 ? map.channels[k].channel : k + 1;
        const std::string& given = spec.names[static_cast<std::size_t>(channel - 1) % 4];
        const std::string name = given.empty() ? "Channel " + std::to_string(channel) : given;
        const int before = notes;
        MidiTrack track = channelTrack(map.channels[k], k, clock, from, to, name, notes);
        if (notes == before) continue;
        track.events.push_back(metaEvent(end, midi::MetaEndOfTrack, {}));
        file.tracks.push_back(std::move(track));
    }
    if (stats) *stats = {notes, static_cast<int>(file.tracks.size()) - 1, file.division, end};
    return file;
}

std::array<std::string, 4> midiTrackNames(const ProjectFields& fields) {
    std::array<std::string, 4> names;
    for (int c = 1; c <= 4; ++c) {
        const QString name = fields.text(control::verseNameField(c)).trimmed();
        if (name.isEmpty() || name == QStringLiteral("CH%1 Verse(s)").arg(c)) continue;
        names[c - 1] = name.toStdString();
    }
    return names;
}

int beatsPerMeasureOf(const ProjectFields& fields) { return std::clamp(fields.state(control::MeasureBox), 0, 2) + 2; }

namespace {

MidiWriteResult writeInto(StagedFile& staged, const MidiFile& file) {
    const std::vector<std::uint8_t> bytes = midiFileBytes(file);
    if (std::fwrite(bytes.data(), 1, bytes.size(), staged.stream()) != bytes.size() || !staged.commit())
        return {false, "cannot write " + staged.error()};
    return {true, {}};
}

}  // namespace

MidiWriteResult writeMidiFile(const MidiFile& file, const std::string& path) {
    StagedFile staged;
    if (!staged.open(path)) return {false, "cannot create " + staged.error()};
    return writeInto(staged, file);
}

MidiWriteResult writeMidiFile(const MidiFile& file, std::FILE* out, const std::string& name) {
    StagedFile staged;
    if (!staged.openStream(out, name)) return {false, "cannot write " + staged.error()};
    return writeInto(staged, file);
}

}  // namespace bleeptone
