#pragma once
// UTF-8 command-line text to the 16-bit code units the engine reads.

#include <string>
#include <string_view>

namespace bleeptone {

// Decodes UTF-8 as Qt decodes project files and clipboard text: characters
// above U+FFFF become surrogate pairs, each byte of a malformed or cut-off
// sequence becomes one U+FFFD, and a leading byte-order mark is kept (U+FEFF).
// Thread: any. Callback: no (allocates).
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace bleeptone
