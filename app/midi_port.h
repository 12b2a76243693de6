#pragma once
// A MIDI input port as the menu lists it and the settings remember it.

#include <QString>

namespace bleeptone {

struct MidiPort {
    QString key;    // "ALSA:NAME" or "JACK:CLIENT:PORT": what the settings remember
    QString label;  // what the menu shows
    friend bool operator==(const MidiPort&, const MidiPort&) = default;
};

}  // namespace bleeptone
