#pragma once
// MIDI input from a keyboard, through RtMidi: the ALSA sequencer's ports
// and JACK's. RtMidi delivers messages on a thread of its own (for JACK, the
// server's process thread); the callback there only copies each note-on into
// a fixed lock-free queue, which the main thread drains on a timer, so the
// MIDI thread never allocates, locks or touches anything else. The main
// thread turns the keys into notes (a chord gives its top note,
// midi_chords.h) and announces them.
//
// The chosen port is remembered as a key, not an index: the list follows
// keyboards plugged in and out (it is read again every second), a port that
// disappears is closed, and it is opened again when it comes back.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "app/midi_chords.h"
#include "app/midi_port.h"

namespace bleeptone {

class MidiInput : public QObject {
    Q_OBJECT
public:
    explicit MidiInput(QObject* parent = nullptr);
    ~MidiInput() override;

    // The ports there are now (read again on each call).
    QList<MidiPort> ports();
    // Listens to the port with this key (empty: none) whenever it is there.
    void choose(const QString& key);
    const QString& chosen() const { return chosen_; }
    // The chosen port is open.
    bool listening() const;
    // Notes dropped because the queue was full (the main thread fell behind).
    std::uint64_t dropped() const;

signals:
    void notePlayed(int note, int velocity);  // a key, or the top note of a chord
    void portsChanged();                      // a keyboard came or went
    void listeningChanged(bool listening);

private:
    struct Backend;
    void drain();
    void watchPorts();
    void reopen();
    std::unique_ptr<Backend> backend_;
    QString chosen_;
    QList<MidiPort> known_;
    MidiChords chords_;
    QElapsedTimer chordHeld_;
    QTimer drainTimer_;
    QTimer watchTimer_;
};

}  // namespace bleeptone
