#include "cli/cli.h"
#include "cli/cli_project.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace bleeptone {

namespace {

const char* const kUsage =
    "Usage:\n"
    "  bleeptone [PROJECT.mmlp] [--audio portaudio|null] [--screenshot FILE.png\n"
    "            [--screenshot-of main|help|module|about] [--type TEXT]]\n"
    "      Start the window (optionally opening a project). --screenshot saves a picture\n"
    "      of the main window (or the Help, PSG Module or About window) once it is shown,\n"
    "      then quits; --type first types TEXT into channel 1 (\\n for Return).\n"
    "  bleeptone render [PROJECT.mmlp | --demo N | --mml TEXT...] [-o FILE|-]\n"
    "                   [--format wav|flac|ogg|mp3|f32|s16|mid] [--start S] [--seconds S] [--max-seconds S]\n"
    "                   [--loops N] [--fade S] [--stems] [--events FILE]\n"
    "      Render offline from a freshly started engine, as fast as the machine allows:\n"
    "      a project (assembled as Play assembles it), a built-in demo (1 to 4), or up to\n"
    "      four --mml texts, one per channel. Without --seconds the render stops\n"
    "      where a recording would stop by itself (the tune ended, or all of its playing\n"
    "      channels looped together; with --loops N, 1 to 16, the Nth time they do),\n"
    "      after at most --max-seconds (default 600). --start begins at that moment of\n"
    "      the tune, exactly as if it had played from the start.\n"
    "      wav (the default unless -o ends in .flac, .ogg, .mp3, .mid or .midi): the file\n"
    "      a recording writes; flac, ogg, mp3: the same samples encoded; f32: the raw\n"
    "      little-endian float output; s16: the raw little-endian 16-bit recording\n"
    "      samples; mid: a Standard MIDI File of the notes as the engine plays them\n"
    "      (a track per channel, noise on channel 10, every note within 10 us of the\n"
    "      engine's moment). --fade S fades out over the last S seconds instead of the\n"
    "      recording's short fade; --stems also writes each channel alone, NAME-1.EXT\n"
    "      to NAME-4.EXT beside the mix. --events writes one line per engine event: the\n"
    "      first sample after the tick that posted it, and its data. (Not with mid.)\n"
    "  bleeptone play [PROJECT.mmlp | --demo N | --mml TEXT...] [--audio portaudio|null] [--start S]\n"
    "                 [--record FILE]\n"
    "      Play in real time until the tune ends (Ctrl+C stops), from --start seconds on\n"
    "      if given. With --record, record into a WAV file that stops by itself when the\n"
    "      tune ends or all of its playing channels loop together. --audio null (or\n"
    "      BLEEPTONE_AUDIO=null) plays silently at the real rate; without a working sound\n"
    "      device play goes on silently too.\n"
    "  bleeptone notes [PROJECT.mmlp | --demo N | --mml TEXT...] [--seconds S] [--json]\n"
    "      Print every note and rest as the engine plays it: a header line, then one\n"
    "      tab-separated line each, by channel, then by start: channel; start, the frame\n"
    "      of the tick that reads it (a tick is 459 frames); frames, its length; note,\n"
    "      the MIDI number, r for a rest, - for a note out of range (silent); verse and\n"
    "      column, 1-based places in the channel editor (- for a note of the settings;\n"
    "      for --mml texts verse 1 and the column in that text); pass, 1 and one more\n"
    "      after each \":\" loop. It stops where render stops; --seconds goes on to that\n"
    "      time, at most 600. --json prints one JSON object instead: the notes, the\n"
    "      song's length and each channel's end or loop frame.\n"
    "  bleeptone check (PROJECT.mmlp | --demo N | --mml TEXT...) [--json]\n"
    "      Check the tune as the engine plays it and print one line per finding, in\n"
    "      order of place, as a compiler prints warnings: NAME:CHANNEL:VERSE:COLUMN:\n"
    "      warning: MESSAGE. NAME is the project file as given, demoN, or mml for --mml\n"
    "      texts (each verse 1 of its channel, in 4/4); VERSE is 0 for a channel's\n"
    "      pattern field. It finds verses that are not whole measures of the Measure\n"
    "      setting, channels that end or loop apart, verses that start mid-measure for\n"
    "      another channel, values the engine changes (V over 63, T over 240 or 16 to\n"
    "      39, W over 5, lengths over 64 and L0, K over 24), silent notes outside C0 to\n"
    "      C8, numbers cut short by a character without meaning (c8? plays the default\n"
    "      length) and pattern entries that name no verse. --json prints one JSON\n"
    "      object instead. Exit status 0: no finding, 1: findings, 2: bad arguments\n"
    "      or a project that cannot be read.\n"
    "  bleeptone export-mml (PROJECT.mmlp | --demo N) [--channel-texts]\n"
    "      Print the text that Copy MML puts on the clipboard; with --channel-texts,\n"
    "      the four channel texts as Play hands them to the engine instead, as one\n"
    "      JSON array of strings (non-ASCII characters as \\u escapes).\n"
    "  bleeptone export-html (PROJECT.mmlp | --demo N) -o PAGE.html|-\n"
    "      Write the tune as one web page that plays it in a browser, sample for sample\n"
    "      as Bleeptone does: the channel texts coloured as in the editors, Play and Stop\n"
    "      (Space), the notes marked as they are heard, and a Copy MML button. The page\n"
    "      loads nothing from anywhere else. Opened with #selftest=SECONDS after its\n"
    "      address, it renders that many seconds and shows the SHA-256 of the samples,\n"
    "      the same as of render --format f32 --seconds SECONDS.\n"
    "  bleeptone import-mml [FILE|-] -o PROJECT.mmlp\n"
    "      Read such a text as Paste MML does (into the New template) and save the project.\n"
    "  bleeptone import-midi FILE.mid [--grid 16|32|64] -o PROJECT.mmlp\n"
    "      Read a MIDI file (format 0 or 1) into a new project of MML: the busiest\n"
    "      tracks and channels as the four channels, one voice each (a chord keeps its\n"
    "      top note, the others go to free channels; percussion on channel 1's noise),\n"
    "      notes on the nearest step of the grid (a 1/64 note unless --grid says\n"
    "      otherwise). What could not be kept is said on standard error.\n"
    "  bleeptone query TEXT POSITION\n"
    "      Print EvtCnt Tempo Octave Transpose NoteLen Volume Waveform Decay and the\n"
    "      time before POSITION (1-based) in tenths of a second.\n"
    "  bleeptone --version | --help\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be written (or a recording was damaged;\n"
    "for check: findings), 2 bad arguments.\n";

}  // namespace

int usageError(const CliIo& io, const std::string& command, const std::string& message) {
    std::fprintf(io.err, "bleeptone%s%s: %s (see bleeptone --help)\n", command.empty() ? "" : " ", command.c_str(),
                 message.c_str());
    return kExitUsage;
}

void ArgReader::load() {
    hasInline_ = false;
    if (done()) {
        name_.clear();
        return;
    }
    name_ = args_[index_];
    const auto eq = name_.find('=');
    if (name_.rfind("--", 0) == 0 && eq != std::string::npos) {
        inlineValue_ = name_.substr(eq + 1);
        name_.resize(eq);
        hasInline_ = true;
    }
}

bool ArgReader::takeValue(std::string& value) {
    if (hasInline_) {
        value = inlineValue_;
        return true;
    }
    if (index_ + 1 >= args_.size()) return false;
    value = args_[++index_];
    return true;
}

bool parseSeconds(const std::string& text, double& seconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(seconds);
}

bool parseInt64(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

namespace {

using Subcommand = int (*)(const std::vector<std::string>& args, const CliIo& io);

int runHelp(const std::vector<std::string>&, const CliIo& io) {
    std::fputs(kUsage, io.out);
    return kExitOk;
}

int runVersion(const std::vector<std::string>&, const CliIo& io) {
    std::fputs("bleeptone " BLEEPTONE_VERSION "\n", io.out);
    return kExitOk;
}

// Every word that starts a command-line run instead of the window.
const struct {
    const char* name;
    Subcommand run;
} kSubcommands[] = {
    {"render", runRender},
    {"play", runPlay},
    {"notes", runNotes},
    {"check", runCheck},
    {"query", runQuery},
    {"export-mml", runExportMml},
    {"import-mml", runImportMml},
    {"import-midi", runImportMidi},
    {"export-html", runExportHtml},
    {"help", runHelp},
    {"--help", runHelp},
    {"-h", runHelp},
    {"--version", runVersion},
    {"-v", runVersion},
};

Subcommand findSubcommand(const std::string& word) {
    for (const auto& s : kSubcommands)
        if (word == s.name) return s.run;
    return nullptr;
}

}  // namespace

bool isCommandLineCommand(const std::string& word) { return findSubcommand(word) != nullptr; }

int runCommandLine(const std::vector<std::string>& args, const CliIo& io) {
    if (args.empty()) return runHelp(args, io);
    if (const Subcommand run = findSubcommand(args[0])) return run({args.begin() + 1, args.end()}, io);
    return usageError(io, "", "unknown command '" + args[0] + "'");
}

}  // namespace bleeptone
