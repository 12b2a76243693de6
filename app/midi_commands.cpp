#include "app/midi_commands.h"

#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTextBlock>

#include "app/dialogs.h"
#include "app/document.h"
#include "app/main_window.h"
#include "app/midi_entry.h"
#include "app/song_commands.h"
#include "app/window_fields.h"
#include "export/export_choices.h"
#include "export/midi_export.h"
#include "export/midi_import.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/note_map.h"
#include "song/song_assembly.h"

namespace bleeptone {

namespace {

const char* const kInputKey = "midi/input";
const char* const kPassesKey = "midi/passes";
const char* const kGridKey = "midi/grid";
constexpr int kGrids[] = {64, 32, 16};

QString quoted(const QString& path) { return "\"" + QFileInfo(path).fileName() + "\""; }

}  // namespace

MidiCommands::MidiCommands(MainWindow& window, Dialogs& dialogs, Document& document, const SongCommands& song,
                           std::function<void(const AppEvent&)> submit)
    : window_(window), dialogs_(dialogs), document_(document), song_(song) {
    connect(&input_, &MidiInput::notePlayed, this,
            [submit](int note, int velocity) { submit(AppEvent::midiNote(note, velocity)); });
    connect(&input_, &MidiInput::portsChanged, this, [this] {
        if (window_.menuItem(menu::MidiInput)->menu()->isVisible()) showPorts();
    });
    window_.setMidiMenuOpening([this] { showPorts(); });
    const QString remembered = QSettings().value(kInputKey).toString();
    if (!remembered.isEmpty()) input_.choose(remembered);
}

void MidiCommands::showPorts() {
    shown_ = input_.ports();
    window_.setMidiPorts(shown_, input_.chosen());
}

void MidiCommands::chooseInput(int index) {
    const QString key = index >= 0 && index < shown_.size() ? shown_[index].key : QString();
    input_.choose(key);
    QSettings().setValue(kInputKey, key);
}

void MidiCommands::notePlayed(int note, int velocity) {
    if (song_.playState() != PlayState::Idle) return;  // only while nothing plays
    ControlTable& controls = window_.controls();
    const int focused = controls.focused();
    const int channel = control::channelOfEditor(focused);
    auto* editor = channel ? qobject_cast<QPlainTextEdit*>(controls.widget(focused)) : nullptr;
    if (!editor) return;
    // As typed: it replaces a selection, in one step of the editor's undo,
    // and is the user's edit.
    QTextCursor cursor = editor->textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const int at = cursor.position();
    const QTextBlock verse = editor->document()->findBlock(at);
    const MidiEntry entry =
        midiEntryAt(note, channelPrefix(WindowFields(controls), channel), verse.text(), at - verse.position());
    cursor.setPosition(at + entry.eraseAfter, QTextCursor::KeepAnchor);
    cursor.insertText(entry.text);
    cursor.endEditBlock();
    cursor.setPosition(at + entry.caret);
    editor->setTextCursor(cursor);
    emit noteWritten(channel, at, note, velocity);
}

void MidiCommands::exportMidi() {
    WindowFields fields(window_.controls());
    const std::array<ChannelAssembly, 4> song = assembleSongWithMap(fields);
    std::array<std::u16string, 4> texts;
    for (std::size_t k = 0; k < texts.size(); ++k) texts[k] = song[k].text.toStdU16String();

    MidiExportSpec spec;
    if (songLoops(texts)) {
        QStringList counts;
        for (int n = 1; n <= kMaxExportPasses; ++n) counts << QString::number(n);
        const int remembered = std::clamp(QSettings().value(kPassesKey, 1).toInt(), 1, kMaxExportPasses);
        const std::optional<int> chosen =
            dialogs_.choice("Export MIDI", "Passes of the song's loop:", counts, remembered - 1);
        if (!chosen) return;
        spec.passes = *chosen + 1;
        QSettings().setValue(kPassesKey, spec.passes);
    }
    const QString name = withNameExtension(document_.projectName(), ".mid");
    QString path =
        dialogs_.filePanel(Dialogs::PanelMode::Save, "Export MIDI...", "mid", "MIDI File", document_.panelStart(name));
    if (path.isEmpty()) return;
    Document::rememberFolder(path);
    path = withNameExtension(path, ".mid");

    spec.names = midiTrackNames(fields);
    spec.beatsPerMeasure = beatsPerMeasureOf(fields);
    spec.title = document_.projectName().toStdString();
    const MidiFile file = midiFileOfMap(mapSong(song, midiMapLimits(spec)), spec);
    const MidiWriteResult written = writeMidiFile(file, QFile::encodeName(path).toStdString());
    if (!written.ok) {
        dialogs_.error(QString("The song could not be exported: %1.").arg(QString::fromStdString(written.message)));
        return;
    }
    dialogs_.information(QString("The song was exported to %1.").arg(quoted(path)));
}

void MidiCommands::importMidi() {
    if (document_.keepsUnsavedWork()) return;
    const QString path = dialogs_.filePanel(Dialogs::PanelMode::Open, "Import MIDI...", "mid|midi|MID|MIDI",
                                            "MIDI File", document_.panelStart());
    if (path.isEmpty()) return;
    Document::rememberFolder(path);
    const int remembered = QSettings().value(kGridKey, 64).toInt();
    int current = 0;
    for (int i = 0; i < 3; ++i)
        if (kGrids[i] == remembered) current = i;
    const std::optional<int> grid = dialogs_.choice(
        "Import MIDI", "Move the notes to the nearest:", {"1/64 note", "1/32 note", "1/16 note"}, current);
    if (!grid || *grid < 0 || *grid > 2) return;
    QSettings().setValue(kGridKey, kGrids[*grid]);

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        dialogs_.error(QString("%1 could not be read: %2.").arg(quoted(path), in.errorString()));
        return;
    }
    const QByteArray bytes = in.read(static_cast<qint64>(kMaxMidiFileBytes) + 1);
    MidiImportOptions options;
    options.grid = kGrids[*grid];
    options.fileName = QFileInfo(path).fileName();
    const MidiImport import = importMidiBytes(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())}, options);
    if (!import.ok) {
        // The document stays as it was.
        dialogs_.error(QString("%1 could not be imported: %2.").arg(quoted(path), import.error));
        return;
    }
    ProjectModel project;
    loadBuiltIn(BuiltInProject::NewTemplate, project);
    applyMidiImport(import, project);
    document_.replaceWithImport(project);
    if (!import.report.isEmpty())
        dialogs_.information(QString("%1 was imported. What could not be kept:\n\n").arg(quoted(path)) +
                             import.report.join('\n'));
}

}  // namespace bleeptone
