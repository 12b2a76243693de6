#include "song/note_map.h"

#include <algorithm>
#include <bit>
#include <climits>

#include "engine/sequencer.h"
#include "project/u16_view.h"

namespace bleeptone {

namespace {

// What one voice plays and how its positions map to the editors.
struct VoiceSource {
    std::u16string_view text;
    int channel = 0;                                     // the editor channel
    const ChannelAssembly* assembly = nullptr;           // a song's channel: placeInSong
    const Passage* passage = nullptr;                    // or a passage: placeInPassage
    const std::vector<TextSegment>* segments = nullptr;  // the verses, in text order
};

using Sources = std::array<VoiceSource, kVoices>;

MML_Info settingsOf(const MML_Info& info) {
    MML_Info s = info;
    s.EvtCnt = 0;
    return s;
}

// Hears the sequencer tick by tick and writes the map.
class MapBuilder final : public NoteObserver {
public:
    MapBuilder(NoteMap& map, const Sources& sources) : map_(map), sources_(sources) {
        for (Voice& v : voices_) resetChannelInfo(v.settings);
    }

    void beginTick(std::uint64_t frame) {
        frame_ = frame;
        looped_ = 0;
    }

    // A level the decay or envelope set and no new note replaced within the
    // tick is heard: a new peak of the note. Returns the channels that
    // looped in the tick.
    std::uint32_t endTick() {
        for (std::uint32_t rising = rising_; rising != 0; rising &= rising - 1) {
            const int k = std::countr_zero(rising);
            Voice& v = voices_[k];
            std::vector<MappedNote>& notes = map_.channels[k].notes;
            if (!notes.empty()) notes.back().peakLevel = static_cast<std::uint8_t>(v.pendingLevel);
            v.peak = v.pendingLevel;
        }
        rising_ = 0;
        return looped_;
    }

    void noteStarted(int k, const MMLCommand& cmd, std::int32_t position, const MML_Channel& ch, std::int64_t index,
                     int level) override {
        Voice& v = voices_[k];
        rising_ &= ~(1u << k);  // PSG_Sound set the voice again before anything was heard
        v.peak = level;
        enterVerses(k, position);
        MappedNote n;
        n.start = frame_;
        n.ticks = static_cast<std::uint32_t>(std::max(ch.EvtLen, 1));
        n.kind = cmd.code == mmlCommands::Rest      ? NoteKind::Rest
                 : index >= 0 && index < kNoteCount ? NoteKind::Note
                                                    : NoteKind::Silent;
        n.index = static_cast<std::int32_t>(std::clamp<std::int64_t>(index, INT32_MIN, INT32_MAX));
        n.startLevel = static_cast<std::uint8_t>(level);
        n.peakLevel = n.startLevel;
        n.dotted = cmd.dot;
        n.length = mmlNoteLength(cmd, ch);
        n.position = position;
        n.pass = map_.channels[k].passes;
        n.place = placeOf(k, position);
        n.settings = ch;
        n.settings.EvtCnt = ch.EvtLen;
        map_.channels[k].notes.push_back(n);
    }

    void commandRead(int k, const MMLCommand& cmd, std::int32_t position, const MML_Channel& ch) override {
        Voice& v = voices_[k];
        MappedChannel& out = map_.channels[k];
        enterVerses(k, position);
        MappedCommand c;
        c.frame = frame_;
        c.code = cmd.code;
        c.dot = cmd.dot;
        c.sign = static_cast<std::int8_t>(cmd.sign);
        c.closed = cmd.closed;
        c.number = cmd.number;
        c.position = position;
        c.pass = out.passes;
        c.place = placeOf(k, position);
        c.before = v.settings;
        c.after = settingsOf(ch);
        v.settings = c.after;
        out.commands.push_back(c);
        if (cmd.code == mmlCommands::Loop) {
            looped_ |= 1u << k;
            if (!out.loopFrame) out.loopFrame = frame_;
            ++out.passes;
            v.nextSegment = 0;
        }
    }

    void levelChanged(int k, int level) override {
        Voice& v = voices_[k];
        if (level <= v.peak) return;  // no new peak (a decay, or a level held)
        v.pendingLevel = level;
        rising_ |= 1u << k;
    }

    void channelEnded(int k) override {
        rising_ &= ~(1u << k);  // the voice is silenced at once
        map_.channels[k].endFrame = frame_;
    }

private:
    struct Voice {
        int peak = -1;                // the highest level of the current note so far
        int pendingLevel = -1;        // above it, set by the decay or envelope in this tick
        std::size_t nextSegment = 0;  // the first verse of this pass not entered yet
        MML_Info settings;            // as the last command left them
    };

    std::optional<EditorPlace> placeOf(int k, std::int32_t position) const {
        const VoiceSource& s = sources_[k];
        if (s.assembly) return placeInSong(*s.assembly, s.channel, position);
        if (s.passage) return placeInPassage(*s.passage, s.channel, position);
        return std::nullopt;
    }

    // Reading has reached `position`: every verse that starts at or before it is entered.
    void enterVerses(int k, std::int32_t position) {
        const std::vector<TextSegment>* segments = sources_[k].segments;
        if (!segments) return;
        Voice& v = voices_[k];
        while (v.nextSegment < segments->size() && (*segments)[v.nextSegment].offset <= position) {
            map_.channels[k].verses.push_back(
                {frame_, (*segments)[v.nextSegment].verse, static_cast<int>(v.nextSegment), map_.channels[k].passes});
            ++v.nextSegment;
        }
    }

    NoteMap& map_;
    const Sources& sources_;
    std::array<Voice, kVoices> voices_{};
    std::uint64_t frame_ = 0;
    std::uint32_t looped_ = 0;
    std::uint32_t rising_ = 0;  // voices with a pendingLevel
};

// A render stops at the tick of a common loop, before the notes that tick
// reads: what every channel read after its ":" there belongs to a pass the
// map does not cover.
void dropNextPass(NoteMap& map, std::uint64_t frame, std::uint32_t looped) {
    for (int k = 0; k < kVoices; ++k) {
        if (((looped >> k) & 1u) == 0) continue;
        MappedChannel& ch = map.channels[k];
        if (!ch.notes.empty() && ch.notes.back().start >= frame) ch.notes.pop_back();
        while (!ch.commands.empty() && ch.commands.back().frame >= frame && ch.commands.back().pass == ch.passes)
            ch.commands.pop_back();
        while (!ch.verses.empty() && ch.verses.back().frame >= frame && ch.verses.back().pass == ch.passes)
            ch.verses.pop_back();
        --ch.passes;
    }
}

NoteMap runMap(const Sources& sources, const NoteMapLimits& limits) {
    NoteMap map;
    for (int k = 0; k < kVoices; ++k) {
        map.channels[k].channel = sources[k].channel;
        map.channels[k].hasText = !sources[k].text.empty() && sources[k].text != MML_NoChange;
    }
    MapBuilder builder(map, sources);
    SequencerRun run(sources[0].text, sources[1].text, sources[2].text, sources[3].text, &builder);
    std::uint32_t playing = run.sequencer().playingMask();
    while (run.nextFrame() < limits.maxFrames) {
        const std::uint64_t frame = run.nextFrame();
        builder.beginTick(frame);
        run.tick();
        const std::uint32_t looped = builder.endTick();
        const std::uint32_t before = playing;
        playing = run.sequencer().playingMask();
        // The tick's end events, as the sequencer posts them.
        if (before != 0 && playing == 0) {
            map.stop = NoteMapStop::Ended;
            map.frames = frame;
            if (!map.songLength) map.songLength = frame;
            return map;
        }
        if (looped != 0 && looped == playing) {
            map.commonLoops.push_back(frame);
            if (!map.songLength) map.songLength = frame;
            if (limits.passes > 0 && map.commonLoops.size() >= static_cast<std::size_t>(limits.passes)) {
                map.stop = NoteMapStop::Looped;
                map.frames = frame;
                dropNextPass(map, frame, looped);
                return map;
            }
        }
    }
    map.stop = NoteMapStop::Limit;
    map.frames = limits.maxFrames;
    return map;
}

}  // namespace

const MappedNote* NoteMap::noteAt(int voice, std::uint64_t frame) const {
    if (voice < 0 || voice >= kVoices) return nullptr;
    const std::vector<MappedNote>& notes = channels[voice].notes;
    const auto after = std::upper_bound(notes.begin(), notes.end(), frame,
                                        [](std::uint64_t f, const MappedNote& n) { return f < n.start; });
    if (after == notes.begin()) return nullptr;
    const MappedNote& n = *(after - 1);
    return frame < n.end() ? &n : nullptr;
}

NoteMap mapSong(const std::array<ChannelAssembly, 4>& song, const NoteMapLimits& limits) {
    Sources sources;
    for (int k = 0; k < kVoices; ++k) sources[k] = {u16view(song[k].text), k + 1, &song[k], nullptr, &song[k].segments};
    return runMap(sources, limits);
}

NoteMap mapPassage(const Passage& passage, int channel, const NoteMapLimits& limits) {
    const std::vector<TextSegment> segments = {{passage.preambleLength, passage.selectionLength, passage.verse}};
    Sources sources;
    const int voice = passageVoice(channel);
    sources[voice] = {u16view(passage.text), channel, nullptr, &passage, &segments};
    return runMap(sources, limits);
}

NoteMap mapTexts(const SongTexts& texts, const NoteMapLimits& limits) {
    std::array<ChannelAssembly, 4> song;
    for (int k = 0; k < kVoices; ++k) {
        song[k].text =
            QString(reinterpret_cast<const QChar*>(texts[k].data()), static_cast<qsizetype>(texts[k].size()));
        song[k].segments = {{0, static_cast<int>(texts[k].size()), 1}};
    }
    return mapSong(song, limits);
}

}  // namespace bleeptone
