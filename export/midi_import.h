#pragma once
// Import MIDI: a Standard MIDI File (format 0 or 1) as a project of tidy MML.
//
// - Voices. The file's notes are grouped by track and MIDI channel; the
//   busiest groups get the four channels, each on one monophonic voice (a
//   group that plays on MIDI channel 1 to 4 keeps that channel when it is
//   free). A chord keeps its top note on its group's voice; its other notes,
//   and every note a voice cannot hold, go to a channel that is silent for
//   the note's whole length, if there is one. Percussion (MIDI channel 10)
//   plays on channel 1's noise: the whole channel when the other groups
//   leave it free, else the moments channel 1 is silent.
// - Timing. Starts and ends are quantised to the nearest step of the grid (a
//   1/64, 1/32 or 1/16 note). The tempo is the file's first; a later change
//   becomes a "t" in every channel at that moment. Each note's length in
//   engine ticks follows from its place on the grid, so that no channel
//   drifts from another.
// - Pitch. Notes outside C0..C8 are moved by octaves into it.
// - The MML. Each verse holds two measures (four of 2/4), sets its default
//   length "l" to its most common length, and writes lengths only where they
//   differ, with dots where they fit; octaves change with "<" and ">" and
//   every verse ends in the octave it began with, so that verses that read
//   the same are the same verse, and the pattern repeats them. A duration
//   that no single length gives is the fewest notes of the same pitch that
//   add up to it; every channel has decay 0, so they sound as one.
// - What could not be kept (voices beyond four, notes moved by an octave or
//   by quantisation, and so on) is listed in the report.

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "export/midi_file.h"
#include "project/project_fields.h"

namespace bleeptone {

struct MidiImportOptions {
    int grid = 64;     // the quantisation step as a note value: 16, 32 or 64
    QString fileName;  // for the project info ("Imported from NAME")
};

// One channel of the imported project.
struct ImportedChannel {
    bool plays = false;
    int waveform = 4;  // the waveform box: 0..4, 5 noise (channel 1 only)
    int octave = 4;
    int volume = 40;
    QString name;        // the verse-name field (the track's name), or empty to keep the template's
    QStringList verses;  // the editor's lines
    QString pattern;     // "1+2+1+3"
    int notes = 0;       // notes placed on it
};

struct MidiImport {
    bool ok = false;
    QString error;  // why the file could not be imported at all
    int tempo = 12;
    int measureBox = 2;  // 0 2/4, 1 3/4, 2 4/4
    std::array<ImportedChannel, 4> channels;
    QString info;        // for the project info: what was imported
    QStringList report;  // what could not be kept, one sentence each
};

// Thread: any.
MidiImport importMidi(const MidiFile& file, const MidiImportOptions& options);
// Reads the bytes first; the reader's problems lead the report.
MidiImport importMidiBytes(std::span<const std::uint8_t> bytes, const MidiImportOptions& options);

// Writes an import into project fields that hold the New template: tempo,
// measure, each channel's settings, verse name, verses and pattern, the
// project info. Channels the import leaves silent keep the template's
// settings and get no verses.
void applyMidiImport(const MidiImport& import, ProjectFields& fields);

}  // namespace bleeptone
