// The rules on values: what the engine makes of a volume, tempo, waveform,
// length or transpose it cannot take as written (read from the settings the
// map holds before and after each command), notes it plays silent, numbers
// a character without meaning cuts short, and pattern entries that name no
// verse.

#include <QStringList>

#include <map>
#include <tuple>

#include "engine/mml.h"
#include "engine/synth.h"
#include "song/tune_checks_detail.h"

namespace bleeptone::checks {

namespace {

const TuneRuleInfo& limits(TuneRule rule) { return tuneRuleInfo(rule); }

bool outside(std::int64_t v, TuneRule rule) { return v < limits(rule).low || v > limits(rule).high; }

QString signedText(std::int64_t v) { return (v >= 0 ? "+" : "") + QString::number(v); }

// "C9", "F#8", "B-1" for a note index (C0 is 0).
QString pitchText(std::int64_t index) {
    static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::int64_t octave = index / 12, semitone = index % 12;
    if (semitone < 0) semitone += 12, --octave;
    return names[semitone] + QString::number(octave);
}

// The beats per minute of a tempo code: 60 s over a quarter note of
// (18 - code) x 8 ticks.
long tempoBpm(std::int32_t code) {
    const double quarter = (18.0 - code) * 8.0 * kTickSamples / kSampleRate;
    return std::lround(60.0 / quarter);
}

QString tempoText(std::int32_t code) {
    return QString("about %1 beats per minute (tempo code %2)").arg(tempoBpm(code)).arg(code);
}

// A number of ticks as a part of a whole note at the tempo: "1/192".
QString ticksOfWhole(std::int64_t ticks, std::int32_t tempo) {
    const Whole w = Whole::of(ticks, (18 - static_cast<std::int64_t>(tempo)) * 32);
    return QString("%1/%2").arg(w.num()).arg(w.den());
}

QString waveformName(int mask) {
    static const char* const names[] = {"the triangle", "the sawtooth", "complex A", "complex B",
                                        "the square",   "noise",        "complex A", "complex B"};
    return names[mask & 7];
}

// What the voice plays for W (only the first voice has noise; the voice
// reads the low 3 bits of the waveform's low byte, and makes noise ten times
// the note's pitch only for a low byte of exactly 5).
template <typename Quoted>
std::optional<QString> waveformProblem(const Quoted& quoted, std::int32_t waveform, int voice, int channel) {
    const TuneRuleInfo& w = limits(TuneRule::Waveform);
    const auto low = static_cast<std::uint8_t>(waveform);
    const int mask = low & 7;
    const std::int64_t noise = w.high;  // the last waveform
    if (!outside(waveform, TuneRule::Waveform) && (waveform != noise || voice == 0)) return std::nullopt;
    const QString written = quoted();
    if (!outside(waveform, TuneRule::Waveform)) {
        return QString("%1 is noise only on channel 1: channel %2 plays practically the sawtooth")
            .arg(written)
            .arg(channel);
    }
    const QString why =
        QString(": waveforms go from %1 to %2 and the voice reads only the low 3 bits").arg(w.low).arg(w.high);
    if (mask == noise && voice != 0)
        return written + " plays practically the sawtooth" + why + " (5, noise only on channel 1)";
    if (mask == noise && low != noise) return written + " plays noise a tenth as fast as w5's" + why;
    const int same = mask > noise ? mask - 4 : mask;  // 6 and 7 are 2 and 3 again
    return QString("%1 plays %2, as w%3 does%4").arg(written, waveformName(mask)).arg(same).arg(why);
}

// Orders a channel's commands and notes as it read them.
using ReadKey = std::tuple<std::uint64_t, std::int32_t, std::int32_t>;
ReadKey keyOf(const MappedCommand& c) { return {c.frame, c.pass, c.position}; }
ReadKey keyOf(const MappedNote& n) { return {n.start, n.pass, n.position}; }

void checkCommands(CheckRun& run, const ChannelTimes& ch) {
    for (const MappedCommand& c : ch.mapped->commands) {
        if (!c.place) continue;
        // Quoted only for a finding: most commands have none.
        const auto written = [&] { return run.quoted(ch.voice, c.position); };
        const auto add = [&](TuneRule rule, const QString& message) {
            run.addAt(rule, ch.voice, c.place, c.position, c.frame, message);
        };
        switch (c.code) {
            case mmlCommands::Volume:
                if (c.number != 0 && outside(c.number, TuneRule::Volume))
                    add(TuneRule::Volume, QString("%1 sets the volume to %2, not %3: volumes go up to %4 and the "
                                                  "engine keeps only the number's low 6 bits")
                                              .arg(written(), c.after.Volume == 0 ? QStringLiteral("0 (silence)")
                                                                                  : QString::number(c.after.Volume))
                                              .arg(c.number)
                                              .arg(limits(TuneRule::Volume).high));
                break;
            case mmlCommands::Tempo:
                if (c.number > limits(TuneRule::Tempo).high)
                    add(TuneRule::Tempo, QString("%1 changes nothing: tempos go up to %2 beats per minute, and it "
                                                 "stays at %3")
                                             .arg(written())
                                             .arg(limits(TuneRule::Tempo).high)
                                             .arg(tempoText(c.after.Tempo)));
                else if (c.number >= kTempoCodes && c.number < limits(TuneRule::Tempo).low)
                    add(TuneRule::Tempo, QString("%1 sets %2, not %3 beats per minute: below %4 the engine keeps "
                                                 "only the number's low 4 bits")
                                             .arg(written(), tempoText(c.after.Tempo))
                                             .arg(c.number)
                                             .arg(limits(TuneRule::Tempo).low));
                break;
            case mmlCommands::Waveform:
                if (auto problem = waveformProblem(written, c.after.Waveform, ch.voice, ch.channel))
                    add(TuneRule::Waveform, *problem);
                break;
            case mmlCommands::NoteLength:
                if (low32(c.number) == 0) {
                    add(TuneRule::Length, QString("%1 changes nothing: notes stay %2 (l%3)")
                                              .arg(written(), noteName(c.after.NoteLen, false))
                                              .arg(c.after.NoteLen));
                } else if (c.number > limits(TuneRule::Length).high) {
                    const std::int32_t ticks = std::max(1, mmlNoteTicks(c.after.Tempo, c.after.NoteLen, false));
                    add(TuneRule::Length, QString("%1: notes last %2 (%3) at this tempo, %4 of a whole note rather "
                                                  "than 1/%5: the engine plays lengths in whole ticks")
                                              .arg(written(), ticksText(static_cast<std::uint64_t>(ticks)),
                                                   timeText(static_cast<std::uint64_t>(ticks) * kTickSamples),
                                                   ticksOfWhole(ticks, c.after.Tempo))
                                              .arg(c.after.NoteLen));
                }
                break;
            case mmlCommands::Transpose:
                if (c.number > limits(TuneRule::Transpose).high)
                    add(TuneRule::Transpose,
                        QString("%1 changes nothing: a transpose goes from %2 to %3, and it "
                                "stays %4")
                            .arg(written())
                            .arg(limits(TuneRule::Transpose).low)
                            .arg(signedText(limits(TuneRule::Transpose).high), signedText(c.before.Transpose)));
                break;
            default: break;
        }
    }
}

// Notes a transpose put out of range, by the K command that set it.
struct Pushed {
    const MappedCommand* k = nullptr;
    int above = 0, below = 0;
};

void checkNotes(CheckRun& run, const ChannelTimes& ch) {
    const TuneRuleInfo& range = limits(TuneRule::NoteRange);
    const std::vector<MappedCommand>& commands = ch.mapped->commands;
    std::map<const MappedCommand*, Pushed> pushed;
    std::vector<const MappedCommand*> order;  // the K commands in the order they pushed notes out
    const MappedCommand* lastK = nullptr;     // the K that set the transpose in force
    std::size_t next = 0;
    for (const MappedNote& n : ch.mapped->notes) {
        for (; next < commands.size() && keyOf(commands[next]) < keyOf(n); ++next) {
            const MappedCommand& c = commands[next];
            if (c.code == mmlCommands::Transpose && c.after.Transpose != c.before.Transpose) lastK = &c;
            if (c.code == mmlCommands::Loop) lastK = nullptr;  // the loop resets the transpose
        }
        if (!n.place) continue;
        const auto written = [&] { return run.quoted(ch.voice, n.position); };
        const auto add = [&](TuneRule rule, const QString& message) {
            run.addAt(rule, ch.voice, n.place, n.position, n.start, message);
        };
        if (n.kind == NoteKind::Silent) {
            const bool high = n.index > range.high;
            const QString edge = high ? "above " + pitchText(range.high) + ", the highest note"
                                      : "below " + pitchText(range.low) + ", the lowest note";
            const std::int64_t untransposed = n.index - n.settings.Transpose;
            const bool byK = n.settings.Transpose != 0 && !outside(untransposed, TuneRule::NoteRange);
            if (byK) {
                add(TuneRule::NoteRange,
                    QString("%1 is silent: the transpose of %2 puts it at %3, %4")
                        .arg(written(), signedText(n.settings.Transpose), pitchText(n.index), edge));
                if (lastK && lastK->place) {
                    Pushed& p = pushed[lastK];
                    if (!p.k) order.push_back(lastK);
                    p.k = lastK;
                    ++(high ? p.above : p.below);
                }
            } else {
                add(TuneRule::NoteRange,
                    QString("%1 is silent: it would be %2, %3").arg(written(), pitchText(n.index), edge));
            }
        }
        const bool ownLength = n.length != n.settings.NoteLen;  // an L over 64 is found at the L
        if (ownLength && n.length > limits(TuneRule::Length).high) {
            add(TuneRule::Length,
                QString("%1 lasts %2 (%3) at this tempo, %4 of a whole note rather than %5: the engine plays "
                        "lengths in whole ticks")
                    .arg(written(), ticksText(n.ticks), timeText(n.frames()), ticksOfWhole(n.ticks, n.settings.Tempo),
                         n.dotted ? QString("3/%1").arg(n.length * 2) : QString("1/%1").arg(n.length)));
        }
    }
    for (const MappedCommand* k : order) {
        const Pushed& p = pushed[k];
        const int count = p.above + p.below;
        const QString highest = pitchText(range.high), lowest = pitchText(range.low);
        const QString where = p.below == 0   ? "above " + highest
                              : p.above == 0 ? "below " + lowest
                                             : "out of " + lowest + " to " + highest;
        run.addAt(TuneRule::Transpose, ch.voice, k->place, k->position, k->frame,
                  QString("%1 puts %2 %3, where %4 silent")
                      .arg(run.quoted(ch.voice, k->position),
                           count == 1 ? QStringLiteral("a note") : QString("%1 notes").arg(count), where,
                           count == 1 ? "it is" : "they are"));
    }
}

// How a character is named in a message.
QString characterText(QChar c) {
    if (c == '\n') return QStringLiteral("a line break");
    if (c == '\t') return QStringLiteral("a tab");
    if (c.unicode() < 0x20) return QString("U+%1").arg(c.unicode(), 4, 16, QChar('0')).toUpper();
    return "\"" + QString(c) + "\"";
}

// The number of a command's modifiers as the command reader builds it, and
// the last number a character without meaning reset.
struct NumberRun {
    std::uint64_t number = 0;
    std::uint64_t lost = 0;  // 0: nothing was cut
    int cutAt = -1;
};

NumberRun readNumber(const QString& text, int position) {
    NumberRun r;
    for (int i = position + 1; i < text.size(); ++i) {
        const std::uint8_t cls = mmlClass(text[i].unicode());
        if (cls & 0x80) break;  // the next command, or the end
        if (cls & 0x40) {
            r.number = r.number * 10u + (cls & 0x0F);
        } else if (cls == mmlClasses::Comma) {
            r.number = 0;
        } else if (cls == 0) {
            if (r.number != 0) r.lost = r.number, r.cutAt = i;
            r.number = 0;
        }
    }
    return r;
}

}  // namespace

void checkValues(CheckRun& run) {
    for (const ChannelTimes& ch : run.channels()) {
        checkCommands(run, ch);
        checkNotes(run, ch);
    }
}

void checkCutNumbers(CheckRun& run) {
    for (const ChannelTimes& ch : run.channels()) {
        const QString& text = run.text(ch.voice);
        const auto cut = [&](std::int32_t position) -> std::optional<NumberRun> {
            const NumberRun r = readNumber(text, position);
            if (r.cutAt < 0 || r.lost == r.number) return std::nullopt;  // "c8?8": the same number again
            return r;
        };
        for (const MappedNote& n : ch.mapped->notes) {
            if (!n.place) continue;
            const auto r = cut(n.position);
            // "l8 c8?": the default length is the one written.
            if (!r || n.length == static_cast<std::int64_t>(r->lost)) continue;
            const QString by = characterText(text[r->cutAt]);
            const QString lost = noteName(static_cast<std::int64_t>(r->lost), n.dotted);
            const QString message =
                r->number == 0 ? QString("%1 plays the default length, %2, not %3: %4 cuts the number short")
                                     .arg(run.quoted(ch.voice, n.position), noteName(n.length, n.dotted), lost, by)
                               : QString("%1 plays %2, not %3: %4 cuts the %5 short and a new number starts")
                                     .arg(run.quoted(ch.voice, n.position), noteName(n.length, n.dotted), lost, by)
                                     .arg(r->lost);
            run.addAt(TuneRule::CutNumber, ch.voice, n.place, n.position, n.start, message);
        }
        for (const MappedCommand& c : ch.mapped->commands) {
            if (!c.place || c.code == 0 || c.code == mmlCommands::Loop) continue;
            const auto r = cut(c.position);
            if (!r) continue;
            const QString letter = text.mid(c.position, 1);
            run.addAt(TuneRule::CutNumber, ch.voice, c.place, c.position, c.frame,
                      QString("%1 is read as %2%3, not %2%4: %5 cuts the number short")
                          .arg(run.quoted(ch.voice, c.position), letter)
                          .arg(static_cast<qulonglong>(r->number))
                          .arg(static_cast<qulonglong>(r->lost))
                          .arg(characterText(text[r->cutAt])));
        }
    }
}

void checkPatterns(const ProjectFields& fields, CheckRun& run) {
    for (int c = 1; c <= 4; ++c) {
        const int verses = static_cast<int>(versesOf(fields.text(control::channelEditor(c))).size());
        if (verses == 0) continue;  // a channel without verses plays nothing anyway
        const std::vector<PatternEntry> entries = patternEntries(fields.text(control::patternField(c)));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const PatternEntry& e = entries[i];
            if (e.verse >= 1 && e.verse <= verses) continue;
            const QString entry = QString("pattern entry %1").arg(i + 1);
            const bool number = std::any_of(e.text.begin(), e.text.end(), [](QChar ch) { return ch.isDigit(); });
            QString message;
            if (e.text.isEmpty())
                message = entry + " is empty: it plays nothing";
            else if (!number)
                message = QString("%1 (\"%2\") is no verse number: it plays nothing").arg(entry, e.text);
            else if (e.verse < 1)
                message =
                    QString("%1 names verse %2: verses count from 1, so it plays nothing").arg(entry).arg(e.verse);
            else
                message = QString("%1 names verse %2, but channel %3 has %4: it plays nothing")
                              .arg(entry)
                              .arg(e.verse)
                              .arg(c)
                              .arg(verses == 1 ? QStringLiteral("1 verse") : QString("%1 verses").arg(verses));
            run.add(TuneRule::Pattern, {c, 0, e.column}, e.length, std::nullopt, message);
        }
    }
}

}  // namespace bleeptone::checks
