#include "song/mml_text.h"

#include <QStringList>

#include "project/number_rule.h"
#include "song/song_assembly.h"

namespace bleeptone {

namespace {

const QString kVerseMarker = QStringLiteral(".s = \"");
const QString kPatternMarker = QStringLiteral(".s = ");
const QString kInfoOpen = QStringLiteral(";[ ");
const QString kInfoClose = QStringLiteral(" ];");

QString stripTrailingLineFeeds(QString s) {
    while (s.endsWith('\n')) s.chop(1);
    return s;
}

// The pattern line's entries (verse numbers as written in the pattern).
QStringList patternEntries(const QString& pattern, int verseCount) {
    QString q = pattern;
    q.remove(' ');
    if (q.isEmpty()) return {"1"};
    const QStringList fields = q.split('+');
    if (verseCount == 1 && fields.size() == 1) return {"1"};
    return fields;
}

bool isDefaultVerseName(const QString& name) {
    return name == "CH1Verse" || name == "CH2Verse" || name == "CH3Verse" || name == "CH4Verse";
}

bool isDefaultPatternName(const QString& name) {
    return name == "Channel_1" || name == "Channel_2" || name == "Channel_3" || name == "Channel_4";
}

}  // namespace

QString verseVariableName(const QString& verseName) {
    QString s = verseName;
    s.replace('_', ' ');
    s.remove('"');
    s.remove(' ');
    s.remove("(s)");
    return s;
}

QString patternVariableName(const QString& patternName) {
    QString s = patternName;
    return s.replace(' ', '_');
}

QString copyMmlText(const ProjectFields& fields) {
    QString verseText, patternText;
    bool anyPattern = false;
    for (int c = 1; c <= 4; ++c) {
        const QString pattern = fields.text(control::patternField(c));
        if (!pattern.isEmpty()) anyPattern = true;
        const QStringList verses = versesOf(fields.text(control::channelEditor(c)));
        if (verses.isEmpty()) continue;
        const QString name = verseVariableName(fields.text(control::verseNameField(c)));
        const QString prefix = channelPrefix(fields, c, PrefixLetters::Lower);
        for (int n = 1; n <= verses.size(); ++n)
            // Concatenated, not QString::arg: names and verses may hold "%1".
            verseText += name + '_' + QString::number(n) + ".s = \"" + (n == 1 ? prefix : QString()) +
                         verses[n - 1] + "\"\n";
        verseText += '\n';
        QStringList entries;
        for (const QString& e : patternEntries(pattern, static_cast<int>(verses.size()))) entries << name + "_" + e;
        patternText += patternVariableName(fields.text(control::patternNameField(c))) + ".s = " + entries.join(" + ") + '\n';
    }
    QString header;
    const QString info = fields.text(control::ProjectInfo);
    if (!info.isEmpty()) header = kInfoOpen + info.split('\n').join(" | ") + kInfoClose + "\n\n";
    return header + stripTrailingLineFeeds(anyPattern ? verseText + patternText : verseText);
}

PasteResult pasteMmlText(const QString& clipboard, ProjectFields& fields) {
    if (clipboard.size() > kMaxPasteChars) return PasteResult::TooLong;
    QString text = clipboard;
    if (text.contains('\r')) {
        if (text.contains('\n')) text.remove('\r');
        else text.replace('\r', '\n');
    }

    // The project info header. Without its closing marker (or with one that
    // overlaps the opening marker) the rule does not apply.
    if (text.startsWith(kInfoOpen)) {
        const qsizetype close = text.indexOf(kInfoClose);
        if (close >= kInfoOpen.size()) {
            const QString info = text.mid(kInfoOpen.size(), close - kInfoOpen.size());
            text.remove(kInfoOpen + info + kInfoClose + "\n\n");
            fields.setText(control::ProjectInfo, info.split(" | ").join('\n'));
        }
    }
    if (!text.contains(kVerseMarker)) return PasteResult::NoVerses;

    int channel = 1, patternSlot = 1, prefixLength = 0;
    bool firstVerse = true;
    QStringList lines[5];
    for (QString line : text.split('\n')) {
        qsizetype skip = 0;
        while (skip < line.size() && line[skip] == ' ') ++skip;
        while (skip < line.size() && line[skip] == '\t') ++skip;
        line = line.mid(skip);

        if (line.isEmpty()) {
            ++channel;
            firstVerse = true;
            prefixLength = 0;
            continue;
        }
        const qsizetype verseAt = line.indexOf(kVerseMarker);
        if (verseAt >= 0) {
            if (channel > 4) continue;  // a fifth block has no channel to go to
            QString name = line.left(verseAt);
            const qsizetype underscore = name.lastIndexOf('_');
            if (underscore >= 0) name.truncate(underscore);
            if (!isDefaultVerseName(name)) fields.setText(control::verseNameField(channel), name);
            const QString rest = line.mid(line.indexOf('"') + 1);
            QString value = rest;
            value.remove('"');
            if (firstVerse) {
                const QStringList settings = rest.split(' ');
                for (int f = 0; f < 5 && f < settings.size(); ++f) {
                    const QString& field = settings[f];
                    const QString number = field.mid(1);
                    int target = -1;
                    if (field.contains('t')) target = channel == 1 ? control::TempoBox : 0;
                    else if (field.contains('w')) target = control::waveformBox(channel);
                    else if (field.contains('o')) target = control::octaveBox(channel);
                    else if (field.contains('v')) target = control::volumeBox(channel);
                    else if (field.contains('\\')) target = control::decayBox(channel);
                    else continue;  // not a setting: not counted
                    if (target > 0) fields.setState(target, numberRule(number));
                    prefixLength += static_cast<int>(field.size()) + 1;
                }
                firstVerse = false;
                lines[channel] = QStringList{value.mid(prefixLength)};
            } else {
                lines[channel] << value;
            }
            continue;
        }
        const qsizetype patternAt = line.indexOf(kPatternMarker);
        if (patternAt < 0) continue;  // neither a verse nor a pattern: skipped
        if (patternSlot > 4) continue;
        const QString name = line.left(patternAt);
        if (!isDefaultPatternName(name)) fields.setText(control::patternNameField(patternSlot), QString(name).replace('_', ' '));
        QStringList verses;
        for (const QString& entry : line.mid(patternAt + kPatternMarker.size()).split('+')) {
            const QString trimmed = entry.trimmed();
            const qsizetype u = trimmed.indexOf('_');
            verses << (u >= 0 ? trimmed.mid(u + 1) : trimmed);
        }
        fields.setText(control::patternField(patternSlot), verses.join('+'));
        ++patternSlot;
    }
    for (int c = 1; c <= 4; ++c)
        if (!lines[c].isEmpty()) fields.setText(control::channelEditor(c), lines[c].join('\n'));
    return PasteResult::Ok;
}

}  // namespace bleeptone
