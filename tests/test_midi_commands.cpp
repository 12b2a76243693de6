// The window's MIDI commands on the whole program (offscreen, silent output):
// Export MIDI with its passes, Import MIDI with its question, grid and
// report, the keyboard's notes at the caret, and a keyboard on a JACK port
// all the way into an editor.
#include <gtest/gtest.h>

#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "app/application.h"
#include "app/midi_commands.h"
#include "app/song_commands.h"
#include "export/midi_file.h"
#include "tests/jack_server.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"

namespace bleeptone {

namespace {

using testing::runPosted;
using testing::Yes;

class MidiCommandsTest : public testing::ProgramTest {
protected:
    QString editor(int c) { return controls().text(control::channelEditor(c)); }
    void focusEditor(int c, int caret) {
        controls().widget(control::channelEditor(c))->setFocus();
        controls().setSelection(control::channelEditor(c), caret, 0);
    }
    // A MIDI file of division 96: per (MIDI channel, key, quarter notes) one track.
    std::string midiFile(const std::string& name, const std::vector<std::tuple<int, int, int>>& parts) {
        MidiFile f;
        f.division = 96;
        for (const auto& [channel, key, count] : parts) {
            MidiTrack t;
            for (int i = 0; i < count; ++i) {
                t.events.push_back(channelEvent(i * 96, midi::NoteOn, channel, key, 100));
                t.events.push_back(channelEvent(i * 96 + 96, midi::NoteOff, channel, key));
            }
            f.tracks.push_back(t);
        }
        const std::vector<std::uint8_t> bytes = midiFileBytes(f);
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }
};

int noteOns(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const MidiReadResult read = readMidiFile(bytes);
    int count = 0;
    if (read.file)
        for (const MidiTrack& t : read.file->tracks)
            for (const MidiEvent& e : t.events) count += e.isNoteOn();
    return count;
}

TEST_F(MidiCommandsTest, ExportMidiAsksForThePassesOfALoopingSong) {
    startProgram(false);
    menu(menu::Demo2);  // its channels loop: 73 notes a pass
    dialogs.choiceIndexes = {1};
    dialogs.panelPaths = {QString::fromStdString(path("tune"))};
    menu(menu::ExportMidi);
    EXPECT_EQ(dialogs.log(), (std::vector<std::string>{"choice: Export MIDI: Passes of the song's loop:",
                                                       "save panel: Export MIDI... | mid | MIDI File",
                                                       "information: The song was exported to \"tune.mid\"."}));
    EXPECT_EQ(dialogs.calls[1].folder.section('/', -1), "Demo 2.mid");  // the project's name proposed
    EXPECT_EQ(noteOns(path("tune.mid")), 2 * 73);
    EXPECT_EQ(QSettings().value("midi/passes").toInt(), 2);

    // A song that ends: no passes to ask for. A file that cannot be written says so.
    dialogs.clear();
    menu(menu::Demo3);
    dialogs.panelPaths = {QString::fromStdString(path("missing/tune.mid"))};
    menu(menu::ExportMidi);
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "error"}));
    EXPECT_TRUE(dialogs.calls[1].text.startsWith("The song could not be exported: cannot create "));
}

TEST_F(MidiCommandsTest, ImportMidiAsksAboutUnsavedWorkFirstAndSaysWhatItLeftOut) {
    startProgram(false);
    focusEditor(1, 0);
    QTest::keyClicks(controls().widget(control::channelEditor(1)), "cde");  // the user's edit
    runPosted();
    const std::string five = midiFile("five.mid", {{0, 60, 8}, {1, 62, 6}, {2, 64, 4}, {3, 65, 3}, {4, 67, 2}});

    dialogs.answers = {testing::No};  // keep the work: nothing else is asked
    menu(menu::ImportMidi);
    EXPECT_EQ(dialogs.kinds(), std::vector<std::string>{"question"});
    EXPECT_EQ(editor(1), "cde");

    dialogs.clear();
    dialogs.answers = {Yes};
    dialogs.panelPaths = {QString::fromStdString(five)};
    dialogs.choiceIndexes = {2};  // the 1/16 grid
    menu(menu::ImportMidi);
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"question", "open panel", "choice", "information"}));
    EXPECT_EQ(dialogs.calls[1].types, "mid|midi|MID|MIDI");
    EXPECT_EQ(dialogs.calls[2].message, "1/64 note|1/32 note|1/16 note");
    EXPECT_EQ(dialogs.calls[3].text,
              "\"five.mid\" was imported. What could not be kept:\n\n"
              "2 notes of track 5, MIDI channel 5, were left out: only four voices play.");
    EXPECT_EQ(editor(1), "l4 cccc cccc");
    EXPECT_EQ(controls().text(control::patternField(1)), "1");
    EXPECT_EQ(editor(4), "l4 fff");
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    EXPECT_EQ(QSettings().value("midi/grid").toInt(), 16);

    // No MIDI file: the document stays as it was.
    dialogs.clear();
    std::ofstream(path("notes.mid")) << "hello";
    dialogs.answers = {Yes};
    dialogs.panelPaths = {QString::fromStdString(path("notes.mid"))};
    dialogs.choiceIndexes = {0};
    menu(menu::ImportMidi);
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"question", "open panel", "choice", "error"}));
    EXPECT_EQ(dialogs.calls[3].text, "\"notes.mid\" could not be imported: not a MIDI file.");
    EXPECT_EQ(editor(1), "l4 cccc cccc");
}

TEST_F(MidiCommandsTest, AKeyWritesItsNoteAtTheCaretWhileNothingPlays) {
    startProgram(true);
    controls().setText(control::channelEditor(2), "c8 d");
    focusEditor(2, 4);
    QSignalSpy written(&app->midi(), &MidiCommands::noteWritten);
    submit(AppEvent::midiNote(72, 100));  // C5 from octave 4: up, and back after it
    EXPECT_EQ(editor(2), "c8 d>c<");
    EXPECT_EQ(controls().selection(control::channelEditor(2)), std::make_pair(6, 0));
    submit(AppEvent::midiNote(74, 90));  // between: in octave 5 already
    EXPECT_EQ(editor(2), "c8 d>cd<");
    submit(AppEvent::midiNote(67, 90));  // G4: its change down and the one after it cancel
    EXPECT_EQ(editor(2), "c8 d>cd<g");
    EXPECT_EQ(controls().selection(control::channelEditor(2)), std::make_pair(9, 0));
    ASSERT_EQ(written.size(), 3);
    EXPECT_EQ(written[1], (QList<QVariant>{2, 6, 74, 90}));
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");  // the user's edit

    // Not while the song plays; not into a field that is no channel editor.
    submit(AppEvent::control(control::PlayButton));
    ASSERT_NE(app->song().playState(), PlayState::Idle);
    submit(AppEvent::midiNote(60, 100));
    submit(AppEvent::control(control::StopButton));
    runPosted();
    controls().widget(control::ProjectInfo)->setFocus();
    submit(AppEvent::midiNote(60, 100));
    EXPECT_EQ(editor(2), "c8 d>cd<g");
    EXPECT_EQ(controls().text(control::ProjectInfo), "");
}

TEST_F(MidiCommandsTest, TheMidiInputMenuListsThePortsAndRemembersTheChoice) {
    QSettings().remove("midi/input");
    startProgram(false);
    QMenu* ports = window().menuItem(menu::MidiInput)->menu();
    emit ports->aboutToShow();
    QStringList labels;
    for (QAction* a : ports->actions())
        if (!a->isSeparator()) labels << a->text();
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.front(), "&None");
    EXPECT_TRUE(ports->actions().front()->isChecked());

    QSettings().setValue("midi/input", "JACK:gone:port");
    startProgram(false);  // the remembered keyboard is not there
    ports = window().menuItem(menu::MidiInput)->menu();
    emit ports->aboutToShow();
    bool away = false;
    for (QAction* a : ports->actions()) away = away || (a->text() == "gone:port (not connected)" && a->isChecked());
    EXPECT_TRUE(away);
    submit(AppEvent::menu(menu::MidiInput));  // data -1: None
    EXPECT_EQ(QSettings().value("midi/input").toString(), "");
}

// The whole way: a keyboard on a JACK MIDI port, chosen in Play > MIDI
// Input, plays a note that lands in the focused editor.
TEST_F(MidiCommandsTest, AKeyOnAJackKeyboardLandsInTheEditor) {
    testing::JackServer server;
    std::string why;
    if (!testing::useJackServer(server, why)) GTEST_SKIP() << why;
    testing::JackKeyboard keyboard;
    startProgram(true);
    QMenu* ports = window().menuItem(menu::MidiInput)->menu();
    emit ports->aboutToShow();
    QAction* port = nullptr;
    for (QAction* a : ports->actions())
        if (a->text() == "bleeptone-test-sender:keys (JACK)") port = a;
    ASSERT_NE(port, nullptr);
    port->trigger();
    runPosted();
    ASSERT_TRUE(app->midi().input().listening());
    EXPECT_EQ(QSettings().value("midi/input").toString(), testing::JackKeyboard::key());

    controls().setText(control::channelEditor(1), "l8 c");
    focusEditor(1, 4);
    keyboard.press(64);
    keyboard.press(67);  // a chord: its top note
    ASSERT_TRUE(testing::waitWithEvents([&] { return editor(1) != "l8 c"; }));
    EXPECT_EQ(editor(1), "l8 cg");
    app.reset();
    QSettings().remove("midi/input");
    qunsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace

}  // namespace bleeptone
