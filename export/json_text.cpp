#include "export/json_text.h"

namespace bleeptone {

std::string jsonString(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char16_t unit : text) {
        const bool plain =
            unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\' && unit != '<' && unit != '>' && unit != '&';
        if (plain) {
            out += static_cast<char>(unit);
            continue;
        }
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
    }
    out += '"';
    return out;
}

std::string jsonStringArray(const std::vector<std::u16string>& texts) {
    std::string out = "[";
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (k > 0) out += ", ";
        out += jsonString(texts[k]);
    }
    out += ']';
    return out;
}

}  // namespace bleeptone
