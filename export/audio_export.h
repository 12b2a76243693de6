#pragma once
// Export Audio: a song rendered offline by a fresh engine, exactly as a
// recording captures it, and encoded as WAV (the very file a recording
// writes), FLAC, Ogg Vorbis or MP3; optionally from a later moment of the
// song, several passes of a looping song, a fade-out, and one file per
// channel beside the mix.

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/events.h"
#include "export/encoder.h"

namespace bleeptone {

inline constexpr int kMaxExportPasses = 16;
// Ten hours: the WAV file's 32-bit sizes still fit.
inline constexpr std::uint64_t kMaxExportFrames = 36000ull * 44100;

struct ExportSpec {
    std::array<std::u16string, 4> texts;  // channel texts as PSG_PlayMML takes them (empty: silent channel)
    ExportFormat format = ExportFormat::Wav;
    // Where the file starts, in samples: the song from that moment, exactly
    // as if it had played from the start (the samples before it are rendered
    // and thrown away, as a seek does).
    std::uint64_t startFrame = 0;
    // Passes of a song whose playing channels all loop together (1..16): the
    // export ends at the passes-th such loop, counted from the song's start.
    // A song that ends plays once.
    int passes = 1;
    // Exactly this many samples instead (passes and maxFrames do not apply).
    std::optional<std::uint64_t> frames;
    // Fade out over the last S seconds (rounded to samples, at most the whole
    // song; 0: no fade at all). None: the recording's own 459-sample fade.
    std::optional<double> fadeSeconds;
    // Also NAME-1.EXT .. NAME-4.EXT: each channel alone (the others silent),
    // as long as the mix and faded as it is, so that the files line up.
    bool stems = false;
    // A song that neither ends nor loops together stops after this many samples.
    std::uint64_t maxFrames = 600ull * 44100;
    // Called with each engine event of the mix, its frame counted from the
    // file's start (the events up to and including the one that ends it).
    std::function<void(const EngineEvent&)> events;
};

struct ExportProgress {
    std::uint64_t framesDone = 0;   // samples of this file encoded so far
    std::uint64_t framesTotal = 0;  // its length (exact: the song is measured before it is encoded)
    int file = 0;                   // 0 the mix, 1..4 the stems
    int files = 1;                  // 1, or 5 with stems
    // Share of the whole export done, 0 to 1.
    double fraction() const {
        const double perFile = framesTotal ? static_cast<double>(framesDone) / static_cast<double>(framesTotal) : 1.0;
        return (file + perFile) / files;
    }
};

enum class ExportStatus { Done, Cancelled, Failed };

struct ExportResult {
    ExportStatus status = ExportStatus::Failed;
    std::string message;              // why it failed, naming the file; "export cancelled"
    std::uint64_t frames = 0;         // length of each file written, in samples
    std::vector<std::string> files;   // the files written, the mix first
    std::uint64_t droppedEvents = 0;  // "*" events of the mix lost to a full queue
    bool ok() const { return status == ExportStatus::Done; }
};

using ExportProgressFn = std::function<void(const ExportProgress&)>;

// Renders and encodes the song into path (and its stems). Runs on the
// caller's thread (the window's export worker, or the command line). progress
// (may be empty) is called on that thread at the start and end of each file
// and at most about 30 times a second between; cancel (may be null) is polled
// every 2,048 samples. Every file goes through a StagedFile (staged_file.h)
// and is put in place only when all of them are complete: a cancelled or
// failed export leaves no file behind, not even part of one.
ExportResult exportAudio(const ExportSpec& spec, const std::string& path, const ExportProgressFn& progress,
                         const std::atomic<bool>* cancel);

// The same into an open stream (standard output), through a temporary file
// copied into it once complete; name is what messages call it. No stems.
ExportResult exportAudio(const ExportSpec& spec, std::FILE* out, const std::string& name,
                         const ExportProgressFn& progress, const std::atomic<bool>* cancel);

// The format an output name asks for: .wav .flac .ogg .mp3, any case.
std::optional<ExportFormat> exportFormatFromExtension(std::string_view path);

// The stem of channel 1..4 beside path: "dir/NAME.EXT" -> "dir/NAME-1.EXT".
std::string stemPath(const std::string& path, int channel);

}  // namespace bleeptone
