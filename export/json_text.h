#pragma once
// JSON string literals of UTF-16 texts, unit for unit: printable ASCII stays
// as it is, everything else (and ", \, <, >, &) becomes \uXXXX. Any JSON or
// JavaScript reader gets back the very code units, lone surrogates included,
// and the literal is safe inside an HTML script element.

#include <string>
#include <string_view>
#include <vector>

namespace bleeptone {

// Thread: any. Callback: no (allocates).
std::string jsonString(std::u16string_view text);

// ["...", "..."]: the texts as a JSON array of such strings.
// Thread: any. Callback: no (allocates).
std::string jsonStringArray(const std::vector<std::u16string>& texts);

}  // namespace bleeptone
