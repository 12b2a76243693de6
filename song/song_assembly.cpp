#include "song/song_assembly.h"

#include <algorithm>
#include <cmath>

#include "engine/query.h"
#include "project/number_rule.h"
#include "project/u16_view.h"

namespace bleeptone {

QStringList versesOf(const QString& editorText) {
    if (editorText.isEmpty()) return {};
    return editorText.split('\n');
}

QString verseAt(const QStringList& verses, int v) { return v >= 1 && v <= verses.size() ? verses[v - 1] : QString(); }

QString channelPrefix(const ProjectFields& fields, int channel, PrefixLetters letters) {
    const bool upper = letters == PrefixLetters::Upper;
    return (upper ? "T" : "t") + fields.text(control::TempoBox) + (upper ? " W" : " w") +
           QString::number(fields.state(control::waveformBox(channel))) + (upper ? " O" : " o") +
           fields.text(control::octaveBox(channel)) + " \\" + fields.text(control::decayBox(channel)) +
           (upper ? " V" : " v") + fields.text(control::volumeBox(channel)) + " ";
}

bool channelSounds(const ProjectFields& fields, int channel) {
    return fields.state(control::muteBox(channel)) == 0 &&
           !versesOf(fields.text(control::channelEditor(channel))).isEmpty();
}

ChannelAssembly assembleChannel(const ProjectFields& fields, int channel) {
    ChannelAssembly a;
    if (!channelSounds(fields, channel)) return a;
    const QStringList verses = versesOf(fields.text(control::channelEditor(channel)));
    const auto append = [&](int v) {
        if (v < 1 || v > verses.size()) return;  // names no verse: the empty text
        a.segments.push_back({static_cast<int>(a.text.size()), static_cast<int>(verses[v - 1].size()), v});
        a.text += verses[v - 1];
    };
    const QString pattern = fields.text(control::patternField(channel));
    a.text = channelPrefix(fields, channel);
    // A pattern of more than one character joins its verses with blanks.
    const bool joined = pattern.size() > 1;
    for (const PatternEntry& entry : patternEntries(pattern)) {
        append(entry.verse);
        if (joined) a.text += ' ';
    }
    return a;
}

std::vector<PatternEntry> patternEntries(const QString& pattern) {
    if (pattern.isEmpty()) return {{QString(), 0, 0, 1}};
    if (pattern.size() == 1) return {{pattern, 0, 1, numberRule(pattern)}};
    std::vector<PatternEntry> entries;
    PatternEntry entry;
    bool started = false;  // the entry has a character other than a blank
    for (int i = 0; i <= pattern.size(); ++i) {
        if (i == pattern.size() || pattern[i] == '+') {
            if (!started) entry.column = i;
            entry.verse = numberRule(entry.text);
            entries.push_back(entry);
            entry = PatternEntry();
            started = false;
        } else if (pattern[i] != ' ') {
            if (!started) entry.column = i;
            started = true;
            entry.text += pattern[i];
            entry.length = i + 1 - entry.column;
        }
    }
    return entries;
}

QString channelSongText(const ProjectFields& fields, int channel) { return assembleChannel(fields, channel).text; }

std::array<QString, 4> assembleSong(const ProjectFields& fields) {
    return {channelSongText(fields, 1), channelSongText(fields, 2), channelSongText(fields, 3),
            channelSongText(fields, 4)};
}

std::array<ChannelAssembly, 4> assembleSongWithMap(const ProjectFields& fields) {
    return {assembleChannel(fields, 1), assembleChannel(fields, 2), assembleChannel(fields, 3),
            assembleChannel(fields, 4)};
}

qint64 songLengthTenths(const std::array<QString, 4>& texts) {
    qint64 longest = 0;
    MML_Info info;
    for (const QString& t : texts) {
        longest = std::max<qint64>(longest, PSG_GetInfoMML(u16view(t), 2147483647, &info));
    }
    return longest;
}

std::optional<Passage> selectedPassage(const QString& prefix, const QString& editorText, int start, int length) {
    if (length <= 0 || start < 0 || start > editorText.size()) return std::nullopt;
    // The line holding the start: [lineStart, contentEnd), then its line break if any.
    const qsizetype lineStart = start == 0 ? 0 : editorText.lastIndexOf('\n', start - 1) + 1;
    qsizetype contentEnd = editorText.indexOf('\n', start);
    if (contentEnd < 0) contentEnd = editorText.size();
    if (start + static_cast<qsizetype>(length) > contentEnd) length = static_cast<int>(contentEnd - start);
    const QString passage = editorText.mid(start, length);
    const int verse = static_cast<int>(editorText.left(lineStart).count('\n')) + 1;
    const int column = static_cast<int>(start - lineStart);
    if (passage.isEmpty()) return Passage{{}, start, length, 0, verse, column};

    const QString line = prefix + editorText.mid(lineStart, contentEnd - lineStart);
    MML_Info info;
    PSG_GetInfoMML(u16view(line), prefix.size() + (start - lineStart) + 1, &info);
    const QString preamble = QString("T%1O%2K%3L%4V%5W%6\\%7*")
                                 .arg(info.Tempo)
                                 .arg(info.Octave)
                                 .arg(info.Transpose)
                                 .arg(info.NoteLen)
                                 .arg(info.Volume)
                                 .arg(info.Waveform)
                                 .arg(info.Decay);
    return Passage{preamble + passage, start, length, static_cast<int>(preamble.size()), verse, column};
}

namespace {

// x in decimal, padded with "0" on the left to n characters, or cut to its first n.
QString pad(const QString& x, int n) { return x.size() >= n ? x.left(n) : QString(n - x.size(), '0') + x; }

}  // namespace

QString playingTimeText(const QString& status, qint64 elapsedMs, qint64 lengthTenths) {
    const qint64 whole = lengthTenths / 10;  // the length without its last digit
    const qint64 lastDigit = lengthTenths % 10;
    const QString total = " / " + pad(QString::number(whole / 60), 2) + ":" + pad(QString::number(whole % 60), 2) + "." +
                          QString::number(lastDigit < 0 ? -lastDigit : lastDigit);
    const double seconds = std::fmod(static_cast<double>(elapsedMs) / 1000.0, 60.0);
    const QString secondsText = QString::number(static_cast<double>(static_cast<float>(seconds)), 'f', 1);
    return status + pad(QString::number((elapsedMs / 1000) / 60), 2) + ":" + pad(secondsText, 4) + total;
}

}  // namespace bleeptone
