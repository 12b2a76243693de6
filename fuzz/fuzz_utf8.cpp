// Command-line text is decoded from UTF-8: any bytes must decode without a
// crash, into at most one code unit per byte, with no lone surrogates made
// up from well-formed input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cli/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = bleeptone::utf8ToUtf16(bytes);
    if (text.size() > size) {
        std::fprintf(stderr, "fuzz_utf8: more code units than bytes\n");
        std::abort();
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if ((high && (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)) ||
            (low && (i == 0 || text[i - 1] < 0xD800 || text[i - 1] > 0xDBFF))) {
            std::fprintf(stderr, "fuzz_utf8: unpaired surrogate\n");
            std::abort();
        }
    }
    return 0;
}
