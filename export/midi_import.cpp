#include "export/midi_import.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <optional>
#include <unordered_map>

#include "engine/constants.h"
#include "export/midi_gm.h"
#include "export/midi_mml.h"

namespace bleeptone {

namespace {

// An hour of music at most: a file that lasts longer (or whose times are
// absurd) is cut there.
constexpr std::int64_t kMaxImportTicks = 3600ll * kSampleRate / kTickSamples;
constexpr int kLowestNote = 12, kHighestNote = 108;  // C0, C8
constexpr int kMaxNameLength = 64;

// A note as the file has it.
struct RawNote {
    std::uint64_t on = 0, off = 0;
    int pitch = 60, velocity = 64, program = 0;
    std::size_t source = 0;
};

// Notes of one track on one MIDI channel.
struct Source {
    int track = 0;    // from 1
    int channel = 0;  // 0..15
    QString name;     // its track's name
    int notes = 0;
    bool percussion() const { return channel == midi::PercussionChannel; }
};

struct Collected {
    std::vector<Source> sources;
    std::vector<RawNote> notes;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> tempos;  // (tick, tempo) in order
    std::uint64_t lastTick = 0;
    int pitchBends = 0, pedals = 0;
    std::optional<std::pair<int, int>> timeSignature;  // numerator, power of two of the denominator
    bool flats = false;
    QString title;
};

// A name for a one-line field: no line breaks, no ";" (a project file stores
// a line break so), no control characters, not too long.
QString fieldText(const std::string& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(bytes);
    QString clean;
    for (const QChar c : text) clean += c == ';' || c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(' ') : c;
    return clean.simplified().left(kMaxNameLength);
}

QString trackName(const MidiTrack& track) {
    for (const MidiEvent& e : track.events)
        if (e.isMeta(midi::MetaTrackName)) return fieldText(e.payload);
    return {};
}

Collected collect(const MidiFile& file) {
    Collected c;
    struct Ref {
        std::uint64_t tick;
        std::uint32_t track, index;
    };
    std::vector<Ref> refs;
    for (std::uint32_t t = 0; t < file.tracks.size(); ++t)
        for (std::uint32_t i = 0; i < file.tracks[t].events.size(); ++i)
            refs.push_back({file.tracks[t].events[i].tick, t, i});
    std::stable_sort(refs.begin(), refs.end(), [](const Ref& a, const Ref& b) { return a.tick < b.tick; });

    int program[16] = {};
    std::unordered_map<std::uint32_t, std::size_t> sourceOf;          // track << 4 | channel
    std::unordered_map<std::uint32_t, std::deque<std::size_t>> open;  // track << 11 | channel << 7 | pitch
    bool keySeen = false;
    for (const Ref& r : refs) {
        const MidiEvent& e = file.tracks[r.track].events[r.index];
        c.lastTick = std::max(c.lastTick, e.tick);
        const int ch = e.channel();
        const std::uint32_t key = r.track << 11 | static_cast<std::uint32_t>(ch) << 7 | e.data1;
        if (e.status == midi::Meta) {
            if (const auto tempo = tempoOf(e)) c.tempos.push_back({e.tick, *tempo});
            if (e.data1 == midi::MetaTimeSignature && !c.timeSignature && e.payload.size() >= 2)
                c.timeSignature = {static_cast<std::uint8_t>(e.payload[0]), static_cast<std::uint8_t>(e.payload[1])};
            if (e.data1 == midi::MetaKeySignature && !keySeen && !e.payload.empty()) {
                keySeen = true;
                c.flats = static_cast<std::int8_t>(e.payload[0]) < 0;
            }
        } else if (e.kind() == midi::Program) {
            program[ch] = e.data1;
        } else if (e.kind() == midi::PitchBend) {
            if (e.data1 != 0 || e.data2 != 0x40) ++c.pitchBends;
        } else if (e.kind() == midi::Controller) {
            if (e.data1 == 64 && e.data2 >= 64) ++c.pedals;
        } else if (e.isNoteOn()) {
            const std::uint32_t sourceKey = r.track << 4 | static_cast<std::uint32_t>(ch);
            auto [it, added] = sourceOf.emplace(sourceKey, c.sources.size());
            if (added) c.sources.push_back({static_cast<int>(r.track) + 1, ch, trackName(file.tracks[r.track])});
            ++c.sources[it->second].notes;
            open[key].push_back(c.notes.size());
            c.notes.push_back({e.tick, e.tick, e.data1, e.data2, program[ch], it->second});
        } else if (e.isNoteOff()) {
            auto it = open.find(key);
            if (it == open.end() || it->second.empty()) continue;
            c.notes[it->second.front()].off = e.tick;
            it->second.pop_front();
        }
    }
    for (auto& [key, notes] : open)
        for (std::size_t n : notes) c.notes[n].off = c.lastTick;
    if (file.format == 1 && file.tracks.size() > 1) {
        const bool tempoTrack =
            std::none_of(c.sources.begin(), c.sources.end(), [](const Source& s) { return s.track == 1; });
        if (tempoTrack) c.title = trackName(file.tracks.front());
    }
    return c;
}

// Ticks of the file to steps of the grid.
class Quantiser {
public:
    Quantiser(const MidiFile& file, const MidiTempoMap& tempo, int grid) : file_(file), tempo_(tempo), grid_(grid) {}
    // The step nearest a tick.
    std::int64_t stepOf(std::uint64_t tick) const { return std::llround(exactStep(tick)); }
    // How far a tick lies from its step, in steps (0 to 0.5).
    double offGrid(std::uint64_t tick) const { return std::abs(exactStep(tick) - static_cast<double>(stepOf(tick))); }
    // The same in seconds.
    double secondsMoved(std::uint64_t tick) const {
        const double stepTicks = file_.smpte() ? 0 : 4.0 * file_.division / grid_;
        if (stepTicks == 0) return offGrid(tick) * 2.0 / grid_;
        const double target = static_cast<double>(stepOf(tick)) * stepTicks;
        return std::abs(tempo_.seconds(tick) - tempo_.seconds(static_cast<std::uint64_t>(std::llround(target))));
    }

private:
    double exactStep(std::uint64_t tick) const {
        // SMPTE timing has no beats: read it at 120 beats per minute, a whole note in 2 seconds.
        if (file_.smpte()) return tempo_.seconds(tick) * grid_ / 2.0;
        return static_cast<double>(tick) * grid_ / (4.0 * file_.division);
    }
    const MidiFile& file_;
    const MidiTempoMap& tempo_;
    int grid_;
};

double bpmOfTempoCode(int code) { return 60.0 * kSampleRate / (kTickSamples * 8.0 * (18 - code)); }

// The tempo code nearest a tempo (microseconds per quarter note).
int tempoCodeOf(std::uint32_t tempo) {
    const double bpm = 60e6 / tempo;
    int best = 12;
    for (int code = 0; code <= 15; ++code)
        if (std::abs(std::log(bpm / bpmOfTempoCode(code))) < std::abs(std::log(bpm / bpmOfTempoCode(best))))
            best = code;
    return best;
}

// A note on the grid.
struct GridNote {
    std::int64_t start = 0, end = 0;
    int pitch = 60, level = 40, waveform = 4;
    std::size_t source = 0;
};

// One channel's notes as they are placed, by start.
class Lane {
public:
    bool fits(std::int64_t start, std::int64_t end) const {
        auto next = notes_.lower_bound(start);
        if (next != notes_.end() && next->first < end) return false;
        return next == notes_.begin() || std::prev(next)->second.end <= start;
    }
    // Where the next note after `start` begins; -1 when one sounds at `start`.
    std::int64_t freeUntil(std::int64_t start) const {
        auto next = notes_.upper_bound(start);
        if (next != notes_.begin() && std::prev(next)->second.end > start) return -1;
        return next == notes_.end() ? INT64_MAX : next->first;
    }
    void place(const GridNote& n) { notes_[n.start] = n; }
    std::vector<VoiceNote> voice() const {
        std::vector<VoiceNote> out;
        for (const auto& [start, n] : notes_) out.push_back({n.start, n.end, n.pitch, n.level, n.waveform});
        return out;
    }
    bool empty() const { return notes_.empty(); }

private:
    std::map<std::int64_t, GridNote> notes_;
};

struct Counts {
    int octaveMoved = 0, offGrid = 0, lengthened = 0, shortened = 0, chordsLeft = 0, percussionLeft = 0,
        percussionTogether = 0, afterLimit = 0;
    double largestMove = 0;  // seconds
};

// A group's notes as one voice: the top note of a chord stays, the others,
// and lower notes that enter under a held one, are handed back as extras.
// A note cut short where a higher one begins gives its rest to the extras
// when it is held on for longer than it had sounded.
void splitVoice(std::vector<GridNote> notes, std::vector<GridNote>& home, std::vector<GridNote>& extras,
                Counts& counts) {
    std::stable_sort(notes.begin(), notes.end(), [](const GridNote& a, const GridNote& b) {
        return a.start != b.start ? a.start < b.start : a.pitch > b.pitch;
    });
    for (const GridNote& n : notes) {
        if (home.empty() || home.back().end <= n.start) {
            home.push_back(n);
            continue;
        }
        GridNote& cur = home.back();
        if (n.start == cur.start) {
            if (n.pitch == cur.pitch)
                cur.end = std::max(cur.end, n.end);  // the same note twice
            else
                extras.push_back(n);
            continue;
        }
        const std::int64_t held = cur.end - n.start;
        const std::int64_t length = n.end - n.start;
        if (n.pitch > cur.pitch || held * 2 <= length) {
            if (held > n.start - cur.start && n.pitch != cur.pitch) {
                GridNote rest = cur;
                rest.start = n.start;
                extras.push_back(rest);
            } else {
                ++counts.shortened;
            }
            cur.end = n.start;
            home.push_back(n);
        } else {
            extras.push_back(n);
        }
    }
}

// "1 note", "5 notes", and the verb that goes with it.
QString notes(int n) { return n == 1 ? QStringLiteral("1 note") : QStringLiteral("%1 notes").arg(n); }
QString were(int n) { return n == 1 ? QStringLiteral("was") : QStringLiteral("were"); }

QString sourceLabel(const Source& s) {
    QString label = QStringLiteral("track %1").arg(s.track);
    if (!s.name.isEmpty()) label += QStringLiteral(" (\"%1\")").arg(s.name);
    return label + QStringLiteral(", MIDI channel %1").arg(s.channel + 1);
}

struct Layout {
    MmlLayout mml;
    int measureBox = 2;
};

Layout layoutOf(const Collected& c, int grid) {
    Layout l;
    l.mml.grid = grid;
    l.mml.flats = c.flats;
    l.mml.measureSteps = grid;
    if (c.timeSignature && c.timeSignature->second <= 6) {
        const int steps = c.timeSignature->first * grid;
        const int per = 1 << c.timeSignature->second;
        if (steps % per == 0 && steps / per >= 1 && steps / per <= 2 * grid) l.mml.measureSteps = steps / per;
    }
    l.measureBox = l.mml.measureSteps * 2 == grid ? 0 : l.mml.measureSteps * 4 == grid * 3 ? 1 : 2;
    l.mml.verseSteps = l.mml.measureSteps * (l.mml.measureSteps * 2 <= grid ? 4 : 2);
    return l;
}

// The song's tempos on the grid: the file's first from the start, then each change.
std::vector<TempoMark> tempoMarks(const Collected& c, const Quantiser& q) {
    std::vector<TempoMark> marks{{0, c.tempos.empty() ? 12 : tempoCodeOf(c.tempos.front().second)}};
    for (std::size_t i = 1; i < c.tempos.size(); ++i)
        marks.push_back({q.stepOf(c.tempos[i].first), tempoCodeOf(c.tempos[i].second)});
    return marks;
}

GridNote onGrid(const RawNote& raw, const Source& source, const Quantiser& q, int grid, Counts& counts) {
    GridNote n;
    n.start = q.stepOf(raw.on);
    n.end = q.stepOf(raw.off);
    n.source = raw.source;
    n.level = levelOfVelocity(raw.velocity);
    const double off = std::max(q.offGrid(raw.on), q.offGrid(raw.off));
    if (off > 0.25) {
        ++counts.offGrid;
        counts.largestMove = std::max({counts.largestMove, q.secondsMoved(raw.on), q.secondsMoved(raw.off)});
    }
    if (source.percussion()) {
        n.pitch = noiseOfDrumKey(raw.pitch);
        n.waveform = 5;
        // a drum sounds for a sixteenth at least, until the next one
        n.end = std::max(n.end, n.start + std::max(1, grid / 16));
        return n;
    }
    n.waveform = waveformOfProgram(raw.program);
    n.pitch = raw.pitch;
    while (n.pitch < kLowestNote) n.pitch += 12;
    while (n.pitch > kHighestNote) n.pitch -= 12;
    if (n.pitch != raw.pitch) ++counts.octaveMoved;
    if (n.end <= n.start) {
        n.end = n.start + 1;
        ++counts.lengthened;
    }
    return n;
}

// Percussion on channel 1: one drum at a time (the loudest of those that
// start together), each until the next, where channel 1 is silent.
void placePercussion(std::vector<GridNote> drums, Lane& lane, bool whole, Counts& counts) {
    std::stable_sort(drums.begin(), drums.end(), [](const GridNote& a, const GridNote& b) {
        return a.start != b.start ? a.start < b.start : a.level > b.level;
    });
    std::vector<GridNote> single;
    for (const GridNote& d : drums) {
        if (!single.empty() && single.back().start == d.start) {
            ++counts.percussionTogether;
            continue;
        }
        single.push_back(d);
    }
    for (std::size_t i = 0; i < single.size(); ++i) {
        GridNote d = single[i];
        if (i + 1 < single.size()) d.end = std::min(d.end, single[i + 1].start);
        const std::int64_t until = whole ? INT64_MAX : lane.freeUntil(d.start);
        if (until < 0) {
            ++counts.percussionLeft;
            continue;
        }
        d.end = std::min(d.end, until);
        lane.place(d);
    }
}

}  // namespace

MidiImport importMidi(const MidiFile& file, const MidiImportOptions& options) {
    MidiImport out;
    const int grid = options.grid == 16 || options.grid == 32 ? options.grid : 64;
    const Collected c = collect(file);
    const MidiTempoMap tempoMap(file);
    const Quantiser q(file, tempoMap, grid);
    const Layout layout = layoutOf(c, grid);
    out.measureBox = layout.measureBox;
    const GridClock clock(tempoMarks(c, q), grid);
    out.tempo = clock.tempoAt(0);
    const std::int64_t limit = clock.stepAtTick(kMaxImportTicks);

    Counts counts;
    std::vector<std::vector<GridNote>> bySource(c.sources.size());
    for (const RawNote& raw : c.notes) {
        Counts moved;  // counted only for the notes kept
        GridNote n = onGrid(raw, c.sources[raw.source], q, grid, moved);
        if (n.start >= limit) {
            ++counts.afterLimit;
            continue;
        }
        counts.octaveMoved += moved.octaveMoved;
        counts.offGrid += moved.offGrid;
        counts.lengthened += moved.lengthened;
        counts.largestMove = std::max(counts.largestMove, moved.largestMove);
        n.end = std::min(n.end, limit);
        bySource[raw.source].push_back(n);
    }

    // The groups that get a channel: the busiest melodic ones; percussion
    // takes channel 1 when three channels hold the rest.
    std::vector<std::size_t> melodic;
    std::vector<GridNote> drums;
    for (std::size_t s = 0; s < c.sources.size(); ++s) {
        if (c.sources[s].percussion())
            drums.insert(drums.end(), bySource[s].begin(), bySource[s].end());
        else if (!bySource[s].empty())
            melodic.push_back(s);
    }
    std::stable_sort(melodic.begin(), melodic.end(),
                     [&](std::size_t a, std::size_t b) { return bySource[a].size() > bySource[b].size(); });
    const bool drumsOwnChannel1 = !drums.empty() && melodic.size() <= 3;
    std::array<bool, 4> taken{drumsOwnChannel1, false, false, false};
    std::array<std::optional<std::size_t>, 4> owner;
    const std::size_t kept = std::min<std::size_t>(melodic.size(), drumsOwnChannel1 ? 3 : 4);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t r = 0; r < kept; ++r) {
            const std::size_t s = melodic[r];
            if (std::find(owner.begin(), owner.end(), s) != owner.end()) continue;
            int lane = -1;
            if (pass == 0) {
                if (c.sources[s].channel < 4 && !taken[c.sources[s].channel]) lane = c.sources[s].channel;
            } else {
                lane = static_cast<int>(std::find(taken.begin(), taken.end(), false) - taken.begin());
            }
            if (lane < 0 || lane >= 4) continue;
            taken[lane] = true;
            owner[lane] = s;
        }
    }

    std::array<Lane, 4> lanes;
    std::vector<GridNote> extras;
    for (int lane = 0; lane < 4; ++lane) {
        if (!owner[lane]) continue;
        std::vector<GridNote> home;
        splitVoice(bySource[*owner[lane]], home, extras, counts);
        for (const GridNote& n : home) lanes[lane].place(n);
    }
    std::stable_sort(extras.begin(), extras.end(),
                     [](const GridNote& a, const GridNote& b) { return a.start < b.start; });
    for (const GridNote& n : extras) {
        bool placed = false;
        for (int round = 0; round < 2 && !placed; ++round)
            for (int lane = 0; lane < 4 && !placed; ++lane) {
                if ((lane == 0 && drumsOwnChannel1) || owner[lane].has_value() != (round == 1)) continue;
                if (!lanes[lane].fits(n.start, n.end)) continue;
                lanes[lane].place(n);
                placed = true;
            }
        if (!placed) ++counts.chordsLeft;
    }
    if (!drums.empty()) placePercussion(drums, lanes[0], drumsOwnChannel1, counts);

    int placedNotes = 0;
    for (int lane = 0; lane < 4; ++lane) {
        const std::vector<VoiceNote> voice = lanes[lane].voice();
        if (voice.empty()) continue;
        const ChannelMml mml = channelMml(voice, clock, layout.mml);
        ImportedChannel& ch = out.channels[lane];
        ch.plays = true;
        ch.waveform = mml.waveform;
        ch.octave = std::clamp(mml.octave, 0, 8);
        ch.volume = mml.volume;
        ch.verses = mml.verses;
        ch.pattern = mml.pattern;
        ch.notes = static_cast<int>(voice.size());
        if (owner[lane])
            ch.name = c.sources[*owner[lane]].name;
        else if (lane == 0 && drumsOwnChannel1)
            ch.name = QStringLiteral("Percussion");
        placedNotes += ch.notes;
    }

    // What could not be kept.
    QStringList& report = out.report;
    for (std::size_t r = kept; r < melodic.size(); ++r)
        report << QStringLiteral("%1 of %2, %3 left out: only four voices play.")
                      .arg(notes(static_cast<int>(bySource[melodic[r]].size())), sourceLabel(c.sources[melodic[r]]),
                           were(static_cast<int>(bySource[melodic[r]].size())));
    if (counts.chordsLeft)
        report << QStringLiteral("%1 of chords %2 left out: no channel was free to play them.")
                      .arg(notes(counts.chordsLeft), were(counts.chordsLeft));
    if (counts.percussionLeft)
        report << QStringLiteral("%1 of percussion %2 left out: channel 1 was playing.")
                      .arg(notes(counts.percussionLeft), were(counts.percussionLeft));
    if (counts.percussionTogether)
        report << QStringLiteral(
                      "%1 of percussion that sounded with another %2 left out: the noise plays one at a time.")
                      .arg(notes(counts.percussionTogether), were(counts.percussionTogether));
    if (counts.octaveMoved)
        report << QStringLiteral("%1 outside C0 to C8 %2 moved by octaves.")
                      .arg(notes(counts.octaveMoved), were(counts.octaveMoved));
    if (counts.offGrid)
        report << QStringLiteral("%1 off the 1/%2 grid %3 moved to it, by up to %4 ms.")
                      .arg(notes(counts.offGrid))
                      .arg(grid)
                      .arg(were(counts.offGrid))
                      .arg(std::lround(counts.largestMove * 1000));
    if (counts.lengthened)
        report << QStringLiteral("%1 shorter than a 1/%2 %3 lengthened to one.")
                      .arg(notes(counts.lengthened))
                      .arg(grid)
                      .arg(were(counts.lengthened));
    if (counts.shortened)
        report << QStringLiteral("%1 %2 cut short where the next note of the voice begins.")
                      .arg(notes(counts.shortened), were(counts.shortened));
    if (counts.afterLimit)
        report << QStringLiteral("%1 after the first hour %2 left out.")
                      .arg(notes(counts.afterLimit), were(counts.afterLimit));
    if (!c.tempos.empty()) {
        const double bpm = 60e6 / c.tempos.front().second;
        const double plays = bpmOfTempoCode(out.tempo);
        if (std::abs(bpm / plays - 1) > 0.005)
            report << QStringLiteral("The tempo of %1 beats per minute plays at tempo %2 (%3 beats per minute).")
                          .arg(std::lround(bpm))
                          .arg(out.tempo)
                          .arg(std::lround(plays));
    }
    if (file.smpte()) report << QStringLiteral("The file counts time in SMPTE frames: read at 120 beats per minute.");
    if (c.pitchBends)
        report << (c.pitchBends == 1 ? QStringLiteral("1 pitch bend was left out.")
                                     : QStringLiteral("%1 pitch bends were left out.").arg(c.pitchBends));
    if (c.pedals) report << QStringLiteral("The sustain pedal was left out (pressed %1 times).").arg(c.pedals);
    if (placedNotes == 0) report << QStringLiteral("The file holds no notes.");

    out.info = (c.title.isEmpty() ? QString() : c.title + '\n') +
               QStringLiteral("Imported from %1")
                   .arg(options.fileName.isEmpty() ? QStringLiteral("a MIDI file") : options.fileName);
    out.ok = true;
    return out;
}

MidiImport importMidiBytes(std::span<const std::uint8_t> bytes, const MidiImportOptions& options) {
    const MidiReadResult read = readMidiFile(bytes);
    if (!read.file) {
        MidiImport failed;
        failed.error = QString::fromStdString(read.error);
        return failed;
    }
    MidiImport import = importMidi(*read.file, options);
    QStringList problems;
    for (const std::string& p : read.problems) {
        QString sentence = QString::fromStdString(p) + '.';
        sentence[0] = sentence[0].toUpper();
        problems << sentence;
    }
    import.report = problems + import.report;
    return import;
}

void applyMidiImport(const MidiImport& import, ProjectFields& fields) {
    fields.setState(control::TempoBox, import.tempo);
    fields.setState(control::MeasureBox, import.measureBox);
    for (int c = 1; c <= 4; ++c) {
        const ImportedChannel& ch = import.channels[c - 1];
        fields.setText(control::channelEditor(c), ch.verses.join('\n'));
        fields.setText(control::patternField(c), ch.pattern);
        if (!ch.plays) continue;
        fields.setState(control::waveformBox(c), ch.waveform);
        fields.setState(control::octaveBox(c), ch.octave);
        fields.setState(control::volumeBox(c), ch.volume);
        fields.setState(control::decayBox(c), 0);
        if (!ch.name.isEmpty()) fields.setText(control::verseNameField(c), ch.name);
    }
    fields.setText(control::ProjectInfo, import.info);
}

}  // namespace bleeptone
