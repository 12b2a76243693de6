#include "song/song_positions.h"

#include <algorithm>

#include "engine/mml.h"

namespace bleeptone {

std::optional<EditorPlace> placeInSong(const ChannelAssembly& assembly, int channel, int position) {
    // The last segment starting at or before the position.
    const auto after = std::upper_bound(assembly.segments.begin(), assembly.segments.end(), position,
                                        [](int p, const TextSegment& s) { return p < s.offset; });
    if (after == assembly.segments.begin()) return std::nullopt;
    const TextSegment& s = *(after - 1);
    if (position >= s.offset + s.length) return std::nullopt;
    return EditorPlace{channel, s.verse, position - s.offset};
}

std::optional<int> songPositionOf(const ChannelAssembly& assembly, int verse, int column) {
    for (const TextSegment& s : assembly.segments)
        if (s.verse == verse) return s.offset + std::clamp(column, 0, s.length);
    return std::nullopt;
}

std::optional<EditorPlace> placeInPassage(const Passage& passage, int channel, int position) {
    const int at = position - passage.preambleLength;
    if (passage.text.isEmpty() || at < 0 || at >= passage.selectionLength) return std::nullopt;
    return EditorPlace{channel, passage.verse, passage.column + at};
}

int commandLength(std::u16string_view text, int position) {
    if (position < 0 || position >= static_cast<int>(text.size())) return 0;
    const char16_t* begin = text.data() + position;
    const char16_t* pos = begin;
    readMMLCommand(pos, text.data() + text.size(), nullptr);
    int length = static_cast<int>(pos - begin);
    while (length > 1 && begin[length - 1] == u' ') --length;
    return std::max(length, 1);
}

EditorPlace editorPlaceAt(const QString& editorText, int channel, int offset) {
    offset = std::clamp(offset, 0, static_cast<int>(editorText.size()));
    const int lineStart = offset == 0 ? 0 : static_cast<int>(editorText.lastIndexOf('\n', offset - 1)) + 1;
    return {channel, static_cast<int>(editorText.left(lineStart).count('\n')) + 1, offset - lineStart};
}

int editorOffset(const QString& editorText, int verse, int column) {
    if (verse < 1) return -1;
    qsizetype lineStart = 0;
    for (int v = 1; v < verse; ++v) {
        const qsizetype nl = editorText.indexOf('\n', lineStart);
        if (nl < 0) return -1;
        lineStart = nl + 1;
    }
    qsizetype lineEnd = editorText.indexOf('\n', lineStart);
    if (lineEnd < 0) lineEnd = editorText.size();
    return static_cast<int>(lineStart + std::clamp<qsizetype>(column, 0, lineEnd - lineStart));
}

}  // namespace bleeptone
