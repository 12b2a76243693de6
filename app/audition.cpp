#include "app/audition.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "app/window_fields.h"
#include "engine/engine.h"
#include "engine/query.h"
#include "project/u16_view.h"
#include "song/song_assembly.h"
#include "ui/text_editor.h"

namespace bleeptone {

namespace {

bool isNote(const MMLCommand& cmd) { return mmlCommands::isNoteOrRest(cmd.code) && cmd.code != mmlCommands::Rest; }

// What may follow a note's letter as part of it: an accidental, a digit of its length, its dot.
bool partOfNote(QChar ch) {
    const char16_t u = ch.unicode();
    if ((u >= u'A' && u <= u'G') || (u >= u'a' && u <= u'g')) return true;
    return u == u'+' || u == u'-' || u == u'#' || u == u'.' || (u >= u'0' && u <= u'9');
}

// The last "\" command of text (up to its first ":") as written, or empty.
QString lastDecayCommand(const QString& text) {
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = begin + text.size();
    const char16_t* pos = begin;
    QString decay;
    for (MMLCommand cmd = readMMLCommand(pos, end, nullptr); !cmd.atEnd(); cmd = readMMLCommand(pos, end, nullptr)) {
        if (cmd.code == mmlCommands::Loop) break;
        if (cmd.code == mmlCommands::Decay) decay = text.mid(cmd.at - begin, pos - cmd.at).trimmed();
    }
    return decay;
}

}  // namespace

std::optional<int> noteEndingAt(const QString& line, int caret) {
    if (caret <= 0 || caret > line.size() || !partOfNote(line[caret - 1])) return std::nullopt;
    const char16_t* const begin = reinterpret_cast<const char16_t*>(line.utf16());
    const char16_t* pos = begin;
    MMLCommand last;
    for (MMLCommand cmd = readMMLCommand(pos, begin + caret, nullptr); !cmd.atEnd();
         cmd = readMMLCommand(pos, begin + caret, nullptr))
        last = cmd;
    if (!isNote(last)) return std::nullopt;
    return static_cast<int>(last.at - begin);
}

std::optional<QString> noteStartingAt(const QString& line, int column) {
    if (column < 0 || column >= line.size()) return std::nullopt;
    const char16_t* const begin = reinterpret_cast<const char16_t*>(line.utf16());
    const char16_t* pos = begin + column;
    const MMLCommand cmd = readMMLCommand(pos, begin + line.size(), nullptr);
    if (!isNote(cmd) || cmd.at != begin + column) return std::nullopt;
    return line.mid(column, pos - cmd.at).trimmed();
}

std::optional<int> noteAfter(const QString& line, int column) {
    if (column < 0 || column >= line.size()) return std::nullopt;
    const char16_t* const begin = reinterpret_cast<const char16_t*>(line.utf16());
    const char16_t* pos = begin + column;
    for (MMLCommand cmd = readMMLCommand(pos, begin + line.size(), nullptr); !cmd.atEnd();
         cmd = readMMLCommand(pos, begin + line.size(), nullptr)) {
        if (isNote(cmd)) return static_cast<int>(cmd.at - begin);
        if (cmd.code != mmlCommands::OctaveUp && cmd.code != mmlCommands::OctaveDown) break;
    }
    return std::nullopt;
}

QString auditionText(const QString& prefix, const QString& line, int column, const QString& note) {
    const char16_t* const begin = reinterpret_cast<const char16_t*>(note.utf16());
    const char16_t* pos = begin;
    const MMLCommand cmd = readMMLCommand(pos, begin + note.size(), nullptr);
    if (!isNote(cmd)) return {};

    const QString before = prefix + line.left(column);
    MML_Info info;
    PSG_GetInfoMML(u16view(before), before.size() + 1, &info);
    // "O" takes no sign: an octave below 0 is reached from O0 (three steps
    // down are silent whatever the transposition).
    const QString octave =
        info.Octave >= 0 ? QString("O%1").arg(info.Octave) : "O0" + QString(std::min(-info.Octave, 3), '<');
    QString text = QString("T%1%2K%3L%4V%5W%6")
                       .arg(info.Tempo)
                       .arg(octave)
                       .arg(info.Transpose)
                       .arg(info.NoteLen)
                       .arg(info.Volume)
                       .arg(info.Waveform) +
                   lastDecayCommand(before);

    if (mmlNoteTicks(info.Tempo, mmlNoteLength(cmd, info), cmd.dot) <= kAuditionMaxTicks)
        return text + note.mid(cmd.at - begin, pos - cmd.at);
    // Too long: the same pitch for the longest length that fits.
    std::int64_t length = 1;
    while (mmlNoteTicks(info.Tempo, length, false) > kAuditionMaxTicks) ++length;
    return text + QChar(*cmd.at) + (cmd.sign > 0 ? "+" : cmd.sign < 0 ? "-" : "") + QString::number(length);
}

Audition::Audition(MainWindow& window, Engine& engine, SongCommands& song, const PlayOptions& options)
    : QObject(&window), window_(window), engine_(engine), song_(song), options_(options) {
    for (int c = 1; c <= 4; ++c) {
        auto* editor = qobject_cast<MmlEditor*>(window_.controls().widget(control::channelEditor(c)));
        if (!editor) continue;
        connect(editor, &MmlEditor::typed, this, [this, c] { typed(c); });
        connect(editor, &MmlEditor::keyArrived, this, [this] { keyFrame_ = engine_.framesRendered(); });
    }
}

bool Audition::idle() const { return song_.playState() == PlayState::Idle; }

void Audition::typed(int channel) {
    if (!options_.hearNotes || !idle()) return;
    const auto* editor = static_cast<const QPlainTextEdit*>(window_.controls().widget(control::channelEditor(channel)));
    const QTextCursor caret = editor->textCursor();
    if (caret.hasSelection()) return;
    const QString line = caret.block().text();
    const auto start = noteEndingAt(line, caret.positionInBlock());
    if (!start) return;
    if (const auto note = noteStartingAt(line, *start)) {
        const WindowFields fields(window_.controls());
        sound(channel, auditionText(channelPrefix(fields, channel), line, *start, *note));
    }
}

bool Audition::auditionAt(int channel, int verse, int column) {
    if (channel < 1 || channel > 4 || !idle()) return false;
    const auto* editor = static_cast<const QPlainTextEdit*>(window_.controls().widget(control::channelEditor(channel)));
    const QTextBlock block = editor->document()->findBlockByNumber(verse - 1);
    if (verse < 1 || !block.isValid()) return false;
    const QString line = block.text();
    const auto note = noteStartingAt(line, column);
    if (!note) return false;
    const WindowFields fields(window_.controls());
    return sound(channel, auditionText(channelPrefix(fields, channel), line, column, *note));
}

bool Audition::auditionWritten(int channel, int position) {
    if (channel < 1 || channel > 4 || !options_.hearNotes || !idle()) return false;
    const auto* editor = static_cast<const QPlainTextEdit*>(window_.controls().widget(control::channelEditor(channel)));
    const QTextBlock block = editor->document()->findBlock(position);
    if (!block.isValid()) return false;
    const QString line = block.text();
    const auto start = noteAfter(line, position - block.position());
    if (!start) return false;
    const auto note = noteStartingAt(line, *start);
    const WindowFields fields(window_.controls());
    return note && sound(channel, auditionText(channelPrefix(fields, channel), line, *start, *note));
}

bool Audition::auditionNote(int channel, const QString& note) {
    if (channel < 1 || channel > 4 || !idle()) return false;
    const auto* editor = static_cast<const QPlainTextEdit*>(window_.controls().widget(control::channelEditor(channel)));
    const QTextCursor caret = editor->textCursor();
    const WindowFields fields(window_.controls());
    return sound(channel,
                 auditionText(channelPrefix(fields, channel), caret.block().text(), caret.positionInBlock(), note));
}

// On the channel's own voice; the other voices go on with what they sound
// (another channel's audition).
bool Audition::sound(int channel, const QString& text) {
    if (text.isEmpty()) return false;
    std::u16string_view texts[4] = {MML_NoChange, MML_NoChange, MML_NoChange, MML_NoChange};
    texts[channel - 1] = u16view(text);
    lastSong_ = engine_.playMMLAtOnce(texts[0], texts[1], texts[2], texts[3]);
    song_.auditionSounded();
    emit sounded(channel);
    return true;
}

}  // namespace bleeptone
