// JSON string literals of UTF-16 texts: every code unit comes back as it was.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/json_text.h"

namespace bleeptone {
namespace {

TEST(JsonText, EscapesAllButPlainPrintableAscii) {
    const struct {
        std::u16string text;
        std::string literal;
    } rows[] = {
        {u"", R"("")"},
        {u"T120 O4 CDE8.", R"("T120 O4 CDE8.")"},
        // Quote and backslash; the octave commands and & stay safe in HTML.
        {u"a\"b\\c", R"("a\u0022b\u005Cc")"},
        {u"<C>&", R"("\u003CC\u003E\u0026")"},
        // Controls, DEL, a Latin letter, a CJK character.
        {u"\n\t\x1F\x7F", R"("\u000A\u0009\u001F\u007F")"},
        {u"\u00E9\u3042", R"("\u00E9\u3042")"},
        // A pair and a lone surrogate, unit for unit; NUL too.
        {std::u16string(u"\xD83C\xDFB5") + u'\xDC00' + u'\0', R"("\uD83C\uDFB5\uDC00\u0000")"},
    };
    for (const auto& row : rows) EXPECT_EQ(jsonString(row.text), row.literal);
}

TEST(JsonText, ArrayOfStrings) {
    EXPECT_EQ(jsonStringArray({}), "[]");
    EXPECT_EQ(jsonStringArray({u"C", u"", u"<D"}), R"(["C", "", "\u003CD"])");
}

}  // namespace
}  // namespace bleeptone
