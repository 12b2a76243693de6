#pragma once
// The window's MIDI commands: File > Export MIDI... and Import MIDI..., and
// the keyboard of Play > MIDI Input, whose notes are written at the caret
// of the focused channel editor while nothing plays.
//
// The keyboard's notes reach the loop as events (AppEvent::midiNote); the
// remembered choices live in QSettings ("midi/input", "midi/passes",
// "midi/grid").

#include <QList>
#include <QObject>

#include <functional>

#include "app/app_event.h"
#include "app/midi_input.h"

namespace bleeptone {

class Dialogs;
class Document;
class MainWindow;
class SongCommands;

class MidiCommands : public QObject {
    Q_OBJECT
public:
    // submit: where the keyboard's notes go (the loop).
    MidiCommands(MainWindow& window, Dialogs& dialogs, Document& document, const SongCommands& song,
                 std::function<void(const AppEvent&)> submit);

    void exportMidi();
    void importMidi();
    // Play > MIDI Input: the index-th port the menu showed, -1 none.
    void chooseInput(int index);
    // A note played on the keyboard (main thread, from the loop).
    void notePlayed(int note, int velocity);

    MidiInput& input() { return input_; }

signals:
    // A note was written at position (the start of what was inserted) of
    // channel's editor: what audition plays.
    void noteWritten(int channel, int position, int note, int velocity);

private:
    void showPorts();

    MainWindow& window_;
    Dialogs& dialogs_;
    Document& document_;
    const SongCommands& song_;
    MidiInput input_;
    QList<MidiPort> shown_;  // the ports as the menu last showed them
};

}  // namespace bleeptone
