#pragma once
// What the window's Export Audio asks (format, passes, fade-out, one file per
// channel), and how those choices become an export and its file names. Plain
// code: the window only shows the boxes.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "export/audio_export.h"

namespace bleeptone {

struct ExportChoices {
    ExportFormat format = ExportFormat::Wav;
    int passes = 1;          // of a song that loops: 1..16
    double fadeSeconds = 0;  // fade-out over the end, 0..kMaxChoiceFadeSeconds; 0: the recording's own short fade
    bool stems = false;      // one file per channel beside the mix
    bool operator==(const ExportChoices&) const = default;
};

inline constexpr double kMaxChoiceFadeSeconds = 600;
// A song that neither ends nor loops together stops after this long for each pass.
inline constexpr std::uint64_t kExportFramesPerPass = 600ull * 44100;

// Choices read back from anywhere (the settings), brought into range.
ExportChoices validChoices(ExportChoices choices);

// The file extension of a format, without the dot: wav, flac, ogg, mp3.
const char* formatExtension(ExportFormat format);
// The format an extension (any case, no dot) names, as settings store it.
std::optional<ExportFormat> formatOfExtension(std::string_view extension);
// What the save panel calls files of the format: "Wave File", "FLAC File"...
const char* formatFileKind(ExportFormat format);

// The export of the assembled song with these choices.
ExportSpec exportSpecFor(const ExportChoices& choices, const std::array<std::u16string, 4>& texts);

// True when some channel of the song loops (":"): then passes apply.
bool songLoops(const std::array<std::u16string, 4>& texts);

// The chosen name with the format's extension: kept when its file name
// already ends in it (any case), added otherwise ("tune", "tune.wav.old" and
// "tunes.wav.d/tune" get ".wav"). Also the name the save panel proposes for
// a project's name ("Song" is "Song.wav").
std::string withExtension(const std::string& path, ExportFormat format);

}  // namespace bleeptone
