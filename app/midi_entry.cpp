#include "app/midi_entry.h"

#include <algorithm>

#include "engine/mml.h"
#include "engine/query.h"
#include "project/u16_view.h"

namespace bleeptone {

namespace {

const char* const kNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

// The number and dot of the last note or rest before column, as written.
QString lastLength(const QString& line, int column) {
    const std::u16string_view text =
        u16view(line).substr(0, static_cast<std::size_t>(std::clamp<qsizetype>(column, 0, line.size())));
    const char16_t* pos = text.data();
    const char16_t* end = text.data() + text.size();
    QString length;
    for (MMLCommand cmd = readMMLCommand(pos, end, nullptr); !cmd.atEnd(); cmd = readMMLCommand(pos, end, nullptr)) {
        if (!mmlCommands::isNoteOrRest(cmd.code)) continue;
        length = cmd.number != 0 ? QString::number(cmd.number) + (cmd.dot ? "." : "") : QString();
    }
    return length;
}

}  // namespace

MidiEntry midiEntryAt(int note, const QString& prefix, const QString& line, int column) {
    column = static_cast<int>(std::clamp<qsizetype>(column, 0, line.size()));
    MML_Info info;
    const QString text = prefix + line;
    PSG_GetInfoMML(u16view(text), prefix.size() + column + 1, &info);
    while (note < 12) note += 12;
    while (note > 108) note -= 12;
    // The index that sounds this note with the transposition in force.
    const int index = note - 12 - info.Transpose;
    const int octave = index >= 0 ? index / 12 : (index - 11) / 12;
    const int semitone = index - octave * 12;
    QString up, down;
    for (int o = info.Octave; o < octave; ++o) {
        up += '>';
        down += '<';
    }
    for (int o = info.Octave; o > octave; --o) {
        up += '<';
        down += '>';
    }
    MidiEntry entry;
    entry.text = up + kNames[semitone] + lastLength(line, column);
    entry.caret = static_cast<int>(entry.text.size());
    // The change back cancels against changes the other way that follow.
    const QChar inverse = down.isEmpty() ? QChar() : (down[0] == '<' ? QChar('>') : QChar('<'));
    while (!down.isEmpty() && column + entry.eraseAfter < line.size() && line[column + entry.eraseAfter] == inverse) {
        down.chop(1);
        ++entry.eraseAfter;
    }
    entry.text += down;
    return entry;
}

}  // namespace bleeptone
