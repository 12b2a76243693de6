#pragma once
// A QString's UTF-16 code units as the engine reads texts, without a copy.
// The view lives as long as the string is neither changed nor destroyed.

#include <QString>

#include <string_view>

namespace bleeptone {

inline std::u16string_view u16view(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace bleeptone
