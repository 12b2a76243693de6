// Arbitrary bytes as a MIDI file to import: no crash, no hang, memory
// bounded by the file. What an import writes is verses of tidy MML: each
// begins by setting its default length, and holds only the characters the
// import writes.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "export/midi_import.h"
#include "project/project_blocks.h"
#include "project/project_model.h"

using namespace bleeptone;

namespace {

bool tidy(const QString& verse) {
    if (!verse.startsWith('l')) return false;
    for (const QChar c : verse)
        if (!QStringLiteral("abcdefgrltvw0123456789#-.<> ").contains(c)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (int grid : {16, 64}) {
        MidiImportOptions options;
        options.grid = grid;
        const MidiImport import = importMidiBytes({data, size}, options);
        if (!import.ok) continue;
        for (const ImportedChannel& ch : import.channels)
            for (const QString& verse : ch.verses)
                if (!tidy(verse)) {
                    std::fprintf(stderr, "fuzz_midi: an untidy verse: %s\n", verse.toUtf8().constData());
                    std::abort();
                }
        ProjectModel model;
        loadBuiltIn(BuiltInProject::NewTemplate, model);
        applyMidiImport(import, model);
    }
    return 0;
}
