#include "export/web_page.h"

#include <QStringList>

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "engine/constants.h"
#include "engine/staged_file.h"
#include "export/json_text.h"
#include "export/web_page_assets.h"
#include "project/control_numbers.h"
#include "project/u16_view.h"
#include "song/mml_colours.h"
#include "song/mml_text.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"

namespace bleeptone {

namespace {

std::string_view asset(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Text for HTML, outside or inside a quoted attribute value.
std::string htmlText(const QString& text) {
    std::string out;
    for (const char c : text.toUtf8().toStdString()) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// "#rrggbb" of a packed colour (red in the low byte).
std::string cssColour(std::uint32_t packed) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
    return text;
}

// The CSS class of a colour class; none for the base colour.
const char* colourClass(MmlCharClass c) {
    switch (c) {
        case MmlCharClass::Command: return "k";
        case MmlCharClass::Modifier: return "m";
        case MmlCharClass::Number: return "n";
        default: return nullptr;
    }
}

// One verse as the editor shows it: runs of one colour, and "?" for every
// character MML has no use for.
std::string verseHtml(const QString& verse) {
    std::string out = "<div class=\"verse\">";
    const char* open = nullptr;  // the class of the span open, if any
    for (const QChar ch : verse) {
        const MmlCharClass c = classifyMmlChar(ch.unicode());
        const char* wanted = colourClass(c);
        if (wanted != open) {
            if (open) out += "</span>";
            if (wanted) out += std::string("<span class=\"") + wanted + "\">";
            open = wanted;
        }
        if (c == MmlCharClass::Invalid)
            out += '?';
        else if (ch == '<')
            out += "&lt;";
        else if (ch == '>')
            out += "&gt;";
        else
            out += static_cast<char>(ch.unicode());  // every other class is plain ASCII
    }
    if (open) out += "</span>";
    return out + "</div>";
}

std::string channelHtml(const ProjectFields& fields, int channel) {
    const bool muted = fields.state(control::muteBox(channel)) != 0;
    const QString pattern = fields.text(control::patternField(channel));
    const QString name = fields.text(control::verseNameField(channel));
    const std::string id = std::to_string(channel);
    std::string out = std::string("<section class=\"channel") + (muted ? " muted" : "") + "\" aria-labelledby=\"name" +
                      id + "\">\n<h2 id=\"name" + id + "\">" +
                      htmlText(name.isEmpty() ? QString("Channel %1").arg(channel) : name);
    const QStringList verses = versesOf(fields.text(control::channelEditor(channel)));
    if (muted) out += " (muted)";
    if (verses.isEmpty()) out += " (empty)";
    out += "<span class=\"pattern\">pattern " + htmlText(pattern.isEmpty() ? QStringLiteral("1") : pattern) +
           "</span></h2>\n";
    out += "<div class=\"mml\" id=\"mml" + id + "\" tabindex=\"0\" role=\"region\" aria-labelledby=\"name" + id + "\">";
    for (const QString& verse : verses) out += verseHtml(verse);
    return out + "</div>\n</section>\n";
}

// The note map as the page's playhead reads it: per editor channel, each
// note or rest placed in it as [start tick, ticks, verse, column, length],
// flat, by start; and whether the channel ends (rather than loops), so that
// it stays silent after the song's channels have looped together.
std::string channelsJson(const ProjectFields& fields) {
    const std::array<ChannelAssembly, 4> song = assembleSongWithMap(fields);
    const NoteMap map = mapSong(song);
    std::array<QStringList, 4> verses;
    for (int c = 1; c <= 4; ++c)
        verses[static_cast<std::size_t>(c - 1)] = versesOf(fields.text(control::channelEditor(c)));
    std::array<std::string, 4> notes;
    std::array<bool, 4> ends{};
    for (std::size_t k = 0; k < kVoices; ++k) {
        const MappedChannel& voice = map.channels[k];
        if (voice.channel >= 1 && voice.channel <= 4)
            ends[static_cast<std::size_t>(voice.channel - 1)] = !voice.loopFrame;
        for (const MappedNote& note : voice.notes) {
            if (!note.place || note.place->channel < 1 || note.place->channel > 4) continue;
            const EditorPlace& place = *note.place;
            const QString line = verseAt(verses[static_cast<std::size_t>(place.channel - 1)], place.verse);
            if (place.column >= line.size()) continue;
            const int length = std::min(commandLength(u16view(song[k].text), note.position),
                                        static_cast<int>(line.size()) - place.column);
            std::string& out = notes[static_cast<std::size_t>(place.channel - 1)];
            if (!out.empty()) out += ',';
            out += std::to_string(note.start / kTickSamples) + ',' + std::to_string(note.ticks) + ',' +
                   std::to_string(place.verse) + ',' + std::to_string(place.column) + ',' + std::to_string(length);
        }
    }
    std::string out = "[";
    for (std::size_t c = 0; c < 4; ++c) {
        if (c > 0) out += ",\n";
        out += std::string("{\"ends\":") + (ends[c] ? "true" : "false") + ",\"notes\":[" + notes[c] + "]}";
    }
    return out + "]";
}

std::string songJson(const ProjectFields& fields) {
    const std::array<QString, 4> texts = assembleSong(fields);
    std::vector<std::u16string> played;
    for (const QString& t : texts) played.push_back(t.toStdU16String());
    return "{\"texts\":" + jsonStringArray(played) + ",\n\"lengthTenths\":" + std::to_string(songLengthTenths(texts)) +
           ",\n\"copyMml\":" + jsonString(copyMmlText(fields).toStdU16String()) +
           ",\n\"channels\":" + channelsJson(fields) + "}";
}

// The playing time before playing: nothing heard of the song's length yet.
std::string idleTime(qint64 lengthTenths) { return playingTimeText(QString(), 0, lengthTenths).toStdString(); }

}  // namespace

std::string webPageHtml(const ProjectFields& fields, const QString& title) {
    const std::string_view page = asset(web_assets::kPageTemplate, web_assets::kPageTemplateSize);
    const std::string worklet = std::string(asset(web_assets::kEngineScript, web_assets::kEngineScriptSize)) + "\n" +
                                std::string(asset(web_assets::kPageWorklet, web_assets::kPageWorkletSize));
    std::string channels;
    for (int c = 1; c <= 4; ++c) channels += channelHtml(fields, c);
    const std::pair<std::string_view, std::string> values[] = {
        {"TITLE", htmlText(title)},
        {"INFO", htmlText(fields.text(control::ProjectInfo))},
        {"VERSION", BLEEPTONE_VERSION},
        {"BASE", cssColour(kMmlBaseColour)},
        {"COMMAND", cssColour(kMmlCommandColour)},
        {"MODIFIER", cssColour(kMmlModifierColour)},
        {"NUMBER", cssColour(kMmlNumberColour)},
        {"TIME", idleTime(songLengthTenths(assembleSong(fields)))},
        {"CHANNELS", channels},
        {"SONG", songJson(fields)},
        {"WORKLET", worklet},
    };
    // One pass over the template: @NAME@ becomes its value; what is put in
    // is never read again.
    std::string out;
    out.reserve(page.size() + worklet.size() + channels.size() * 3);
    std::size_t at = 0;
    while (at < page.size()) {
        const std::size_t open = page.find('@', at);
        if (open == std::string_view::npos) break;
        const std::size_t close = page.find('@', open + 1);
        if (close == std::string_view::npos) break;
        const std::string_view name = page.substr(open + 1, close - open - 1);
        const std::string* value = nullptr;
        for (const auto& [key, v] : values)
            if (key == name) value = &v;
        if (!value) {  // not a name: the first "@" is text
            out.append(page.substr(at, open + 1 - at));
            at = open + 1;
            continue;
        }
        out.append(page.substr(at, open - at));
        out += *value;
        at = close + 1;
    }
    out.append(page.substr(at));
    return out;
}

bool writeWebPage(const std::string& path, const ProjectFields& fields, const QString& title, std::string& error) {
    const std::string html = webPageHtml(fields, title);
    StagedFile file;
    if (!file.open(path) || std::fwrite(html.data(), 1, html.size(), file.stream()) != html.size() || !file.commit()) {
        error = file.error().empty() ? path + ": cannot write the page" : file.error();
        return false;
    }
    return true;
}

}  // namespace bleeptone
