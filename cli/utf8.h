#pragma once
// UTF-8 command-line text to the 16-bit code units the engine reads.

#include <string>
#include <string_view>

namespace bleeptone {

// Decodes UTF-8; characters above U+FFFF become surrogate pairs, and every
// malformed sequence becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace bleeptone
