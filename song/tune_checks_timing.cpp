// The timing rules: verses that do not fill their measures, channels that
// end or loop apart, verses that start mid-measure for another channel.
// Lengths are counted in the music (whole notes, exact); moments are the
// frames of the ticks the engine plays them at.

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/constants.h"
#include "song/tune_checks_detail.h"

namespace bleeptone::checks {

namespace {

constexpr std::uint64_t kHourFrames = 3600ull * kSampleRate;
// An amount of music written with notes and dots: a denominator of 2^a or
// 3 x 2^a (triplets), up to 192. Others come from notes the ticks cut
// short, not from the music, and are said in time instead.
constexpr std::int64_t kPlainDenominator = 192;
bool isPlain(const Whole& w) {
    if (!w.valid() || w.den() > kPlainDenominator) return false;
    std::int64_t d = w.den();
    if (d % 3 == 0) d /= 3;
    return (d & (d - 1)) == 0;
}

bool hasNotes(const ChannelTimes& ch) { return ch.timed && !ch.mapped->notes.empty(); }

// The musical length of one pass of a looping channel: its notes before the
// first ":".
Whole passLength(const ChannelTimes& ch) {
    const std::vector<MappedNote>& notes = ch.mapped->notes;
    std::size_t i = 0;
    while (i < notes.size() && notes[i].pass == 1) ++i;
    return ch.starts[i];
}

// A looping channel whose whole pass is shorter than a measure and fills it
// evenly (a riff of an eighth played over and over): its verses cannot be
// whole measures, and need not be.
bool isRiff(const ChannelTimes& ch, const Whole& measure) {
    if (!ch.loops() || !hasNotes(ch)) return false;
    const Whole pass = passLength(ch);
    return pass.valid() && !pass.isZero() && pass < measure && measure.rest(pass).isZero();
}

// The last verse played that has notes, for a channel that ends: it may end
// the tune anywhere in its measure.
std::size_t lastPlayWithNotes(const std::vector<VersePlay>& plays) {
    for (std::size_t j = plays.size(); j-- > 0;)
        if (plays[j].endNote > plays[j].firstNote) return j;
    return plays.size();
}

void checkVerseLengths(CheckRun& run) {
    for (const ChannelTimes& ch : run.channels()) {
        if (!hasNotes(ch) || isRiff(ch, run.measure())) continue;
        const std::vector<VersePlay>& plays = run.versePlays(ch.voice);
        const bool ends = ch.mapped->endFrame && !ch.loops();
        const std::size_t exempt = ends ? lastPlayWithNotes(plays) : plays.size();
        for (std::size_t j = 0; j < plays.size(); ++j) {
            const VersePlay& play = plays[j];
            if (j == exempt || !play.complete || play.endNote == play.firstNote) continue;
            const Whole length = ch.starts[play.endNote] - ch.starts[play.firstNote];
            if (length.rest(run.measure()).isZero()) continue;
            // At its last note: where the verse runs past (or short of) the measure line.
            const MappedNote& last = ch.mapped->notes[play.endNote - 1];
            run.addAt(TuneRule::VerseLength, ch.voice, last.place, last.position, play.start->frame,
                      QString("verse %1 is %2 long (%3/4)")
                          .arg(play.start->verse)
                          .arg(amountText(length, run.measure()))
                          .arg(run.quarters()));
        }
    }
}

QString channelsText(const std::vector<int>& channels) {
    QString t = channels.size() == 1 ? "channel " : "channels ";
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (i > 0) t += i + 1 == channels.size() ? " and " : ", ";
        t += QString::number(channels[i]);
    }
    return t;
}

// The index of the note of ch that starts at frame, or nothing.
std::optional<std::size_t> noteStartingAt(const ChannelTimes& ch, std::uint64_t frame) {
    const std::vector<MappedNote>& notes = ch.mapped->notes;
    const auto it = std::lower_bound(notes.begin(), notes.end(), frame,
                                     [](const MappedNote& n, std::uint64_t f) { return n.start < f; });
    if (it == notes.end() || it->start != frame) return std::nullopt;
    return static_cast<std::size_t>(it - notes.begin());
}

void checkEnds(CheckRun& run) {
    std::vector<const ChannelTimes*> ending;
    for (const ChannelTimes& ch : run.channels())
        if (ch.mapped->endFrame && !ch.loops() && !ch.mapped->notes.empty()) ending.push_back(&ch);
    if (ending.size() < 2) return;
    std::uint64_t longest = 0;
    for (const ChannelTimes* ch : ending) longest = std::max(longest, ch->musicEnd());
    std::vector<int> longestChannels;
    const ChannelTimes* reference = nullptr;  // a longest channel whose music counts the difference
    for (const ChannelTimes* ch : ending) {
        if (ch->musicEnd() != longest) continue;
        longestChannels.push_back(ch->channel);
        if (!reference && ch->timed) reference = ch;
    }
    for (const ChannelTimes* ch : ending) {
        const std::uint64_t end = ch->musicEnd();
        if (end == longest) continue;
        // In the longest channel's music, where it has a plain value there
        // (a note ended by ticks counts in the ticks it has played).
        QString amount = timeText(longest - end);
        if (reference) {
            const Whole left = reference->starts.back() - reference->positionAt(end);
            if (isPlain(left)) amount = amountText(left, run.measure()) + " (" + amount + ")";
        }
        const MappedNote& last = ch->mapped->notes.back();
        run.addAt(TuneRule::ChannelEnd, ch->voice, last.place, last.position, end,
                  QString("channel %1 ends %2 before %3, the longest")
                      .arg(ch->channel)
                      .arg(amount, channelsText(longestChannels)));
    }
}

QString loopText(const ChannelTimes& ch, const Whole& measure) {
    const QString time = timeText(*ch.mapped->loopFrame);
    const Whole pass = passLength(ch);
    return ch.timed && pass.valid() ? amountText(pass, measure) + " (" + time + ")" : time;
}

void checkLoops(CheckRun& run) {
    std::vector<const ChannelTimes*> looping;
    for (const ChannelTimes& ch : run.channels())
        if (ch.loops()) looping.push_back(&ch);
    if (looping.size() < 2) return;
    // Every channel loops again at a multiple of its loop: all of them line
    // up at the least common multiple. When the longest loop is a multiple of
    // every other, that is each time the longest one loops.
    const ChannelTimes* longest = looping.front();
    for (const ChannelTimes* ch : looping)
        if (*ch->mapped->loopFrame > *longest->mapped->loopFrame) longest = ch;
    const std::uint64_t longestTicks = *longest->mapped->loopFrame / kTickSamples;
    std::uint64_t common = 1;  // in ticks; 0 when beyond an hour
    for (const ChannelTimes* ch : looping) {
        const std::uint64_t ticks = *ch->mapped->loopFrame / kTickSamples;
        if (common == 0) break;
        const std::uint64_t l = common / std::gcd(common, ticks) * ticks;
        common = l * kTickSamples > kHourFrames ? 0 : l;
    }
    const QString lineUp =
        common == 0 ? QStringLiteral("only after more than an hour") : "only after " + timeText(common * kTickSamples);
    for (const ChannelTimes* ch : looping) {
        const std::uint64_t ticks = *ch->mapped->loopFrame / kTickSamples;
        if (longestTicks % ticks == 0) continue;
        const auto loop = std::find_if(ch->mapped->commands.begin(), ch->mapped->commands.end(),
                                       [](const MappedCommand& c) { return c.code == mmlCommands::Loop && c.place; });
        if (loop == ch->mapped->commands.end()) continue;
        run.addAt(TuneRule::ChannelLoop, ch->voice, loop->place, loop->position, loop->frame,
                  QString("channel %1 loops every %2, channel %3 every %4: they line up again %5")
                      .arg(ch->channel)
                      .arg(loopText(*ch, run.measure()))
                      .arg(longest->channel)
                      .arg(loopText(*longest, run.measure()), lineUp));
    }
}

// The frames at which a channel reaches a measure line: where a note starts
// on one, or where one falls inside a note (a note tied over the line).
std::vector<std::uint64_t> measureLines(const ChannelTimes& ch, const Whole& measure) {
    std::vector<std::uint64_t> lines;
    const std::vector<MappedNote>& notes = ch.mapped->notes;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Whole& from = ch.starts[i];
        const Whole& to = ch.starts[i + 1];
        std::int64_t k = from.measures(measure) + (from.rest(measure).isZero() ? 0 : 1);
        for (;; ++k) {
            const Whole line = Whole::of(measure.num() * k, measure.den());
            if (!line.valid() || !(line < to)) break;
            const double part = (line - from).toDouble() / (to - from).toDouble();
            lines.push_back(notes[i].start + static_cast<std::uint64_t>(std::llround(part * notes[i].frames())));
        }
    }
    if (ch.starts.back().rest(measure).isZero()) lines.push_back(ch.musicEnd());
    return lines;
}

std::uint64_t distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

void checkVerseStarts(CheckRun& run) {
    const Whole& measure = run.measure();
    std::array<std::vector<std::uint64_t>, kVoices> lines;
    for (const ChannelTimes& ch : run.channels())
        if (hasNotes(ch)) lines[static_cast<std::size_t>(ch.voice)] = measureLines(ch, measure);

    for (const ChannelTimes& a : run.channels()) {
        if (!hasNotes(a)) continue;
        for (const VersePlay& play : run.versePlays(a.voice)) {
            const std::uint64_t f = play.start->frame;
            // Only verses that start on a measure line of their own channel.
            if (f == 0 || !a.starts[play.firstNote].rest(measure).isZero()) continue;
            for (const ChannelTimes& b : run.channels()) {
                if (b.voice == a.voice || !hasNotes(b)) continue;
                const std::vector<MappedNote>& notes = b.mapped->notes;
                if (f < notes.front().start || f >= run.map().frames || (!b.loops() && f >= b.musicEnd())) continue;
                const std::vector<std::uint64_t>& bl = lines[static_cast<std::size_t>(b.voice)];
                const auto after = std::lower_bound(bl.begin(), bl.end(), f);
                std::uint64_t nearest = UINT64_MAX;
                if (after != bl.end()) nearest = *after;
                if (after != bl.begin() && (nearest == UINT64_MAX || distance(*(after - 1), f) < distance(nearest, f)))
                    nearest = *(after - 1);
                // Within a tick: the same moment, as far as the engine can tell.
                if (nearest != UINT64_MAX && distance(nearest, f) < kTickSamples) continue;

                QString where;
                if (const auto i = noteStartingAt(b, f)) {
                    where = QString("starts %1 into measure %2 of channel %3")
                                .arg(amountText(b.starts[*i].rest(measure), measure))
                                .arg(b.starts[*i].measures(measure) + 1)
                                .arg(b.channel);
                } else {
                    const std::uint64_t gap = distance(nearest, f);
                    where = QString("starts %1 (%2) %3 a measure line of channel %4")
                                .arg(timeText(gap), ticksText((gap + kTickSamples / 2) / kTickSamples),
                                     f > nearest ? "after" : "before")
                                .arg(b.channel);
                }
                const QString message = QString("verse %1 %2").arg(play.start->verse).arg(where);
                if (play.endNote > play.firstNote) {
                    const MappedNote& first = a.mapped->notes[play.firstNote];
                    run.addAt(TuneRule::VerseStart, a.voice, first.place, first.position, f, message);
                } else {
                    run.add(TuneRule::VerseStart, {a.channel, play.start->verse, 0}, 0, f, message);
                }
                break;  // one finding per verse played
            }
        }
    }
}

}  // namespace

void checkTiming(CheckRun& run) {
    checkVerseLengths(run);
    // Verse starts only say something when every verse fills its measures.
    const bool wholeVerses = run.count(TuneRule::VerseLength) == 0;
    checkEnds(run);
    checkLoops(run);
    if (wholeVerses) checkVerseStarts(run);
}

}  // namespace bleeptone::checks
