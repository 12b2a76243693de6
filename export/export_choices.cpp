#include "export/export_choices.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace bleeptone {

namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

ExportChoices validChoices(ExportChoices choices) {
    choices.passes = std::clamp(choices.passes, 1, kMaxExportPasses);
    if (!(choices.fadeSeconds >= 0)) choices.fadeSeconds = 0;  // also NaN
    choices.fadeSeconds = std::min(choices.fadeSeconds, kMaxChoiceFadeSeconds);
    return choices;
}

const char* formatExtension(ExportFormat format) {
    switch (format) {
        case ExportFormat::Flac: return "flac";
        case ExportFormat::Ogg: return "ogg";
        case ExportFormat::Mp3: return "mp3";
        case ExportFormat::Wav: break;
    }
    return "wav";
}

std::optional<ExportFormat> formatOfExtension(std::string_view extension) {
    for (ExportFormat f : {ExportFormat::Wav, ExportFormat::Flac, ExportFormat::Ogg, ExportFormat::Mp3})
        if (lower(extension) == formatExtension(f)) return f;
    return std::nullopt;
}

const char* formatFileKind(ExportFormat format) {
    switch (format) {
        case ExportFormat::Flac: return "FLAC File";
        case ExportFormat::Ogg: return "Ogg Vorbis File";
        case ExportFormat::Mp3: return "MP3 File";
        case ExportFormat::Wav: break;
    }
    return "Wave File";
}

ExportSpec exportSpecFor(const ExportChoices& choices, const std::array<std::u16string, 4>& texts) {
    const ExportChoices c = validChoices(choices);
    ExportSpec spec;
    spec.texts = texts;
    spec.format = c.format;
    spec.passes = c.passes;
    if (c.fadeSeconds > 0) spec.fadeSeconds = c.fadeSeconds;
    spec.stems = c.stems;
    spec.maxFrames = std::min(kMaxExportFrames, kExportFramesPerPass * static_cast<std::uint64_t>(c.passes));
    return spec;
}

bool songLoops(const std::array<std::u16string, 4>& texts) {
    return std::any_of(texts.begin(), texts.end(), [](const std::u16string& t) { return t.find(u':') != t.npos; });
}

std::string withExtension(const std::string& path, ExportFormat format) {
    const std::string ext = std::string(".") + formatExtension(format);
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);  // npos + 1: all of it
    if (name.size() > ext.size() && lower(name.substr(name.size() - ext.size())) == ext) return path;
    return path + ext;
}

}  // namespace bleeptone
