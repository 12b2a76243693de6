#include "export/midi_mml.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "engine/mml.h"

namespace bleeptone {

namespace {

int wholeTicks(int tempo) { return (18 - (tempo & 15)) * 32; }

// x / d rounded to the nearest whole (halves up); x >= 0, d > 0.
std::int64_t roundedDiv(std::int64_t x, std::int64_t d) { return (x * 2 + d) / (2 * d); }

int lengthRank(int number, bool dot) {
    const int plain = std::has_single_bit(static_cast<unsigned>(number))                          ? 0
                      : number % 3 == 0 && std::has_single_bit(static_cast<unsigned>(number / 3)) ? 2
                                                                                                  : 4;
    return plain + (dot ? 1 : 0);
}

}  // namespace

GridClock::GridClock(std::vector<TempoMark> marks, int grid) : grid_(std::max(1, grid)) {
    std::stable_sort(marks.begin(), marks.end(), [](const TempoMark& a, const TempoMark& b) { return a.at < b.at; });
    for (const TempoMark& m : marks) {
        const TempoMark mark{std::max<std::int64_t>(0, m.at), m.tempo & 15};
        if (!marks_.empty() && marks_.back().at == mark.at)
            marks_.back() = mark;
        else if (marks_.empty() || marks_.back().tempo != mark.tempo)
            marks_.push_back(mark);
    }
    if (marks_.empty() || marks_.front().at != 0) marks_.insert(marks_.begin(), TempoMark{0, 12});
    ticks_.push_back(0);
    for (std::size_t i = 1; i < marks_.size(); ++i)
        ticks_.push_back(ticks_[i - 1] +
                         roundedDiv((marks_[i].at - marks_[i - 1].at) * wholeTicks(marks_[i - 1].tempo), grid_));
}

std::size_t GridClock::markAt(std::int64_t step) const {
    const auto after = std::upper_bound(marks_.begin(), marks_.end(), step,
                                        [](std::int64_t s, const TempoMark& m) { return s < m.at; });
    return after == marks_.begin() ? 0 : static_cast<std::size_t>(after - marks_.begin()) - 1;
}

std::int64_t GridClock::tickAt(std::int64_t step) const {
    const std::size_t i = markAt(step);
    return ticks_[i] + roundedDiv(std::max<std::int64_t>(0, step - marks_[i].at) * wholeTicks(marks_[i].tempo), grid_);
}

int GridClock::tempoAt(std::int64_t step) const { return marks_[markAt(step)].tempo; }

std::int64_t GridClock::stepAtTick(std::int64_t ticks) const {
    std::size_t i = 0;
    while (i + 1 < ticks_.size() && ticks_[i + 1] <= ticks) ++i;
    std::int64_t step =
        marks_[i].at + std::max<std::int64_t>(0, ticks - ticks_[i]) * grid_ / wholeTicks(marks_[i].tempo);
    while (step > marks_[i].at && tickAt(step - 1) >= ticks) --step;
    while (tickAt(step) < ticks) ++step;
    return step;
}

MmlLengths::MmlLengths(int tempo) : whole_(wholeTicks(tempo)), tempo_(tempo & 15) {
    std::unordered_map<int, std::size_t> byTicks;
    for (int dot = 0; dot < 2; ++dot) {
        for (int n = 1; n <= whole_; ++n) {
            const int ticks = mmlNoteTicks(tempo & 15, n, dot != 0);
            if (ticks <= 0) continue;
            const Coin coin{ticks, {n, dot != 0}, lengthRank(n, dot != 0)};
            const auto [it, added] = byTicks.emplace(ticks, coins_.size());
            if (added)
                coins_.push_back(coin);
            else if (coin.rank < coins_[it->second].rank)
                coins_[it->second] = coin;
        }
    }
    best_.push_back({});
}

void MmlLengths::extendTo(std::int64_t ticks) {
    for (auto v = static_cast<std::int64_t>(best_.size()); v <= ticks; ++v) {
        Best b{INT32_MAX, INT32_MAX, -1};
        for (std::size_t c = 0; c < coins_.size(); ++c) {
            if (coins_[c].ticks > v) continue;
            const Best& rest = best_[static_cast<std::size_t>(v - coins_[c].ticks)];
            if (rest.count == INT32_MAX) continue;
            const Best candidate{rest.count + 1, rest.rank + coins_[c].rank, static_cast<int>(c)};
            if (candidate.count < b.count || (candidate.count == b.count && candidate.rank < b.rank)) b = candidate;
        }
        best_.push_back(b);
    }
}

const std::vector<MmlLength>& MmlLengths::of(std::int64_t ticks) {
    const auto cached = cache_.find(ticks);
    if (cached != cache_.end()) return cached->second;
    std::vector<std::pair<int, MmlLength>> terms;
    // A very long note is dotted whole notes up to its last eight whole
    // notes, which are searched for the fewest lengths.
    const int dottedWhole = mmlNoteTicks(tempo_, 1, true);
    std::int64_t v = ticks;
    for (; v > 8ll * whole_; v -= dottedWhole) terms.push_back({dottedWhole, {1, true}});
    if (v > 0) extendTo(v);
    while (v > 0 && best_[static_cast<std::size_t>(v)].coin >= 0) {
        const Coin& c = coins_[static_cast<std::size_t>(best_[static_cast<std::size_t>(v)].coin)];
        terms.push_back({c.ticks, c.length});
        v -= c.ticks;
    }
    std::stable_sort(terms.begin(), terms.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<MmlLength> lengths;
    for (const auto& t : terms) lengths.push_back(t.second);
    return cache_.emplace(ticks, std::move(lengths)).first->second;
}

namespace {

// One note or rest of a verse, with the commands written before it.
struct Item {
    std::int64_t start = 0;
    std::string before;  // "t13", "w5", "v44"
    bool rest = true;
    int pitch = 0;
    const std::vector<MmlLength>* lengths = nullptr;
};

const char* const kSharpNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
const char* const kFlatNames[12] = {"c", "d-", "d", "e-", "e", "f", "g-", "g", "a-", "a", "b-", "b"};

int octaveOf(int pitch) { return (pitch - 12) / 12; }

// The number most of the verse's lengths give (the first of those that tie).
int commonNumber(const std::vector<Item>& items) {
    std::vector<std::pair<int, int>> counts;  // (number, count) in order of first use
    for (const Item& item : items)
        for (const MmlLength& l : *item.lengths) {
            auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == l.number; });
            if (it == counts.end())
                counts.push_back({l.number, 1});
            else
                ++it->second;
        }
    int best = 4, most = 0;
    for (const auto& [number, count] : counts) {
        if (count <= most) continue;
        best = number;
        most = count;
    }
    return best;
}

void moveOctave(std::string& text, int& octave, int target) {
    for (; octave < target; ++octave) text += '>';
    for (; octave > target; --octave) text += '<';
}

std::string verseText(const std::vector<Item>& items, std::int64_t verseStart, const MmlLayout& layout, int base) {
    const int common = commonNumber(items);
    std::string text = "l" + std::to_string(common);
    std::int64_t measureEnd = verseStart;
    int octave = base;
    for (const Item& item : items) {
        if (item.start >= measureEnd) {
            text += ' ';
            while (measureEnd <= item.start) measureEnd += layout.measureSteps;
        }
        text += item.before;
        if (!item.rest) moveOctave(text, octave, octaveOf(item.pitch));
        const char* name = item.rest ? "r" : (layout.flats ? kFlatNames : kSharpNames)[(item.pitch - 12) % 12];
        for (const MmlLength& l : *item.lengths) {
            text += name;
            if (l.number != common) text += std::to_string(l.number);
            if (l.dot) text += '.';
        }
    }
    moveOctave(text, octave, base);
    return text;
}

int medianOctave(const std::vector<VoiceNote>& notes) {
    std::vector<int> pitches;
    for (const VoiceNote& n : notes) pitches.push_back(n.pitch);
    std::nth_element(pitches.begin(), pitches.begin() + static_cast<std::ptrdiff_t>(pitches.size() / 2), pitches.end());
    return octaveOf(pitches[pitches.size() / 2]);
}

int commonLevel(const std::vector<VoiceNote>& notes) {
    int counts[64] = {};
    for (const VoiceNote& n : notes) ++counts[std::clamp(n.level, 0, 63)];
    return static_cast<int>(std::max_element(std::begin(counts), std::end(counts)) - std::begin(counts));
}

constexpr int kVolumeStepWritten = 3;  // smaller changes of volume are not written

}  // namespace

ChannelMml channelMml(const std::vector<VoiceNote>& notes, const GridClock& clock, const MmlLayout& layout) {
    ChannelMml out;
    if (notes.empty()) return out;
    out.octave = medianOctave(notes);
    out.waveform = notes.front().waveform;
    out.volume = commonLevel(notes);

    // Where rests split: verse starts and tempo changes. A note is never cut
    // (a cut would be heard again in the note map, and as a new attack by
    // the engine with a decay): it stays whole in the verse it starts in,
    // and a tempo change that falls inside it is written after it, its
    // length holding the ticks it lasts across the change.
    const std::int64_t end = notes.back().end;
    std::vector<std::int64_t> cuts;
    for (std::int64_t v = layout.verseSteps; v < end; v += layout.verseSteps) cuts.push_back(v);
    for (const TempoMark& m : clock.marks())
        if (m.at > 0 && m.at < end) cuts.push_back(m.at);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    std::unordered_map<int, MmlLengths> lengths;
    const auto lengthsOf = [&](std::int64_t a, std::int64_t b) {
        const int tempo = clock.tempoAt(a);
        auto it = lengths.try_emplace(tempo, tempo).first;
        return &it->second.of(clock.tickAt(b) - clock.tickAt(a));
    };

    std::vector<std::vector<Item>> verses;
    int waveform = out.waveform, volume = out.volume, tempo = clock.tempoAt(0);
    const auto addItem = [&](std::int64_t a, std::int64_t b, const VoiceNote* note) {
        Item item;
        item.start = a;
        if (clock.tempoAt(a) != tempo) item.before += "t" + std::to_string(tempo = clock.tempoAt(a));
        if (note) {
            if (note->waveform != waveform) item.before += "w" + std::to_string(waveform = note->waveform);
            if (std::abs(note->level - volume) >= kVolumeStepWritten)
                item.before += "v" + std::to_string(volume = note->level);
        }
        item.rest = note == nullptr;
        item.pitch = note ? note->pitch : 0;
        item.lengths = lengthsOf(a, b);
        const auto verse = static_cast<std::size_t>(a / layout.verseSteps);
        if (verses.size() <= verse) verses.resize(verse + 1);
        verses[verse].push_back(std::move(item));
    };
    const auto addRest = [&](std::int64_t a, std::int64_t b) {
        for (auto cut = std::upper_bound(cuts.begin(), cuts.end(), a); a < b;) {
            const std::int64_t to = cut != cuts.end() && *cut < b ? *cut++ : b;
            addItem(a, to, nullptr);
            a = to;
        }
    };
    // A note that needs several lengths across a tempo change anyway is
    // split where the tempo changes, the "t" between its parts.
    const auto addNote = [&](std::int64_t a, std::int64_t b, const VoiceNote& n) {
        const auto first = std::upper_bound(cuts.begin(), cuts.end(), a);
        bool split = false;
        for (auto cut = first; cut != cuts.end() && *cut < b && !split; ++cut)
            split = clock.tempoAt(*cut) != clock.tempoAt(*cut - 1) && lengthsOf(a, b)->size() > 1;
        if (!split) return addItem(a, b, &n);
        for (auto cut = first; a < b;) {
            std::int64_t to = b;
            for (; cut != cuts.end() && *cut < b; ++cut)
                if (clock.tempoAt(*cut) != clock.tempoAt(*cut - 1)) {
                    to = *cut++;
                    break;
                }
            addItem(a, to, &n);
            a = to;
        }
    };
    std::int64_t at = 0;
    for (const VoiceNote& n : notes) {
        if (n.start > at) addRest(at, n.start);
        addNote(std::max(at, n.start), n.end, n);
        at = std::max(at, n.end);
    }

    std::unordered_map<std::string, int> numbers;
    QStringList entries;
    for (std::size_t v = 0; v < verses.size(); ++v) {
        if (verses[v].empty()) continue;
        const std::string text =
            verseText(verses[v], static_cast<std::int64_t>(v) * layout.verseSteps, layout, out.octave);
        auto [it, added] = numbers.emplace(text, static_cast<int>(out.verses.size()) + 1);
        if (added) out.verses.push_back(QString::fromStdString(text));
        entries.push_back(QString::number(it->second));
    }
    out.pattern = entries.join('+');
    return out;
}

}  // namespace bleeptone
