#include "song/mml_colours.h"

namespace bleeptone {

MmlCharClass classifyMmlChar(char16_t unit) {
    char16_t c = unit;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c == u'\n' || c == u' ' || c == u'?' || (c >= u'A' && c <= u'G')) return MmlCharClass::Kept;
    // clang-format off
    switch (c) {
        case u'O': case u'K': case u'L': case u'T': case u'V': case u'W': case u'\\': case u'*': case u':':
            return MmlCharClass::Command;
        case u'R': case u'+': case u'-': case u'#': case u'<': case u'>': case u'.':
            return MmlCharClass::Modifier;
        case u',':
            return MmlCharClass::Number;
        default:
            break;
    }
    // clang-format on
    if (c >= u'0' && c <= u'9') return MmlCharClass::Number;
    return MmlCharClass::Invalid;
}

std::uint32_t mmlClassColour(MmlCharClass c) {
    switch (c) {
        case MmlCharClass::Command: return kMmlCommandColour;
        case MmlCharClass::Modifier: return kMmlModifierColour;
        case MmlCharClass::Number: return kMmlNumberColour;
        default: return kMmlBaseColour;
    }
}

}  // namespace bleeptone
