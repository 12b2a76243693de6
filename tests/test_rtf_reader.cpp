// The RTF reader of the Help and PSG Module windows: character and
// paragraph formatting, groups, escapes in code page 1252 and Unicode,
// destinations it skips, fonts and colours, and input that is not what it
// should be.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <string>

#include "tests/qt_printers.h"
#include "ui/rtf_reader.h"

namespace bleeptone {
namespace {

// The document as text with its formatting marked: one line per block,
// "C|" / "R|" / "J|" before a centred / right / justified block with text,
// and [b] [/b], [i] [/i], [u] [/u] where bold, italic and underline start and end.
QString describe(const QTextDocument& doc) {
    QStringList lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QString line;
        const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        if (!block.text().isEmpty()) line = a == Qt::AlignHCenter ? "C|" : a == Qt::AlignRight ? "R|" : a == Qt::AlignJustify ? "J|" : "";
        bool on[3] = {false, false, false};
        const char* tags[3] = {"b", "i", "u"};
        auto turn = [&](int k, bool now) {
            if (on[k] != now) line += QString(now ? "[%1]" : "[/%1]").arg(tags[k]);
            on[k] = now;
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            const bool now[3] = {cf.fontWeight() >= QFont::Bold, cf.fontItalic(), cf.fontUnderline()};
            for (int k = 0; k < 3; ++k) turn(k, now[k]);
            line += f.text();
        }
        for (int k = 0; k < 3; ++k) turn(k, false);
        lines << line;
    }
    return lines.join('\n');
}

QString read(const QByteArray& rtf) {
    QTextDocument doc;
    EXPECT_TRUE(readRtf(rtf, doc));
    return describe(doc);
}

// The format of the character at index (counting every block's separator).
QTextCharFormat formatAt(const QTextDocument& doc, int index) {
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(index + 1);
    return c.charFormat();
}

struct Row {
    QByteArray rtf;
    QString want;
};

void check(const std::vector<Row>& rows) {
    for (const Row& r : rows) EXPECT_EQ(read(r.rtf), r.want) << r.rtf.toStdString();
}

TEST(RtfReader, CharacterFormattingAndGroups) {
    check({
        {R"({\rtf1 plain \b bold\b0  back})", "plain [b]bold[/b] back"},
        {R"({\rtf1 a{\b b{\i c}d}e})", "a[b]b[i]c[/i]d[/b]e"},
        {R"({\rtf1\b x{\b0 y}z})", "[b]x[/b]y[b]z[/b]"},
        {R"({\rtf1 \ul u\ulnone n\ul0 \i i\i0 j})", "[u]u[/u]n[i]i[/i]j"},
        {R"({\rtf1\b\i\ul all\plain  none})", "[b][i][u]all[/b][/i][/u] none"},
        // A group that is left unclosed keeps its formatting to the end.
        {R"({\rtf1 a{\b b)", "a[b]b[/b]"},
    });
}

TEST(RtfReader, ParagraphsAndAlignment) {
    check({
        {R"({\rtf1\qc Title\par\ql body\par})", "C|Title\nbody\n"},
        // Paragraph formatting carries on until \pard.
        {R"({\rtf1\qc A\par B\par\pard C\par})", "C|A\nC|B\nC\n"},
        {R"({\rtf1\qr r\par\qj j\par\ql l\par})", "R|r\nJ|j\nl\n"},
        // A group's alignment ends with the group.
        {R"({\rtf1{\qc in a group\par}after\par})", "C|in a group\nafter\n"},
        // A backslash before a line end is a paragraph; line ends alone are nothing.
        {"{\\rtf1 first\\\nsecond\\\r\nthird}", "first\nsecond\nthird"},
        {"{\\rtf1 a\r\nb\nc\rd}", "abcd"},
        {R"({\rtf1 one\line two\tab three})", QString("one") + QChar(QChar::LineSeparator) + "two\tthree"},
        {R"({\rtf1 \par\par x})", "\n\nx"},
        // A last paragraph without its \par keeps the alignment it was written in.
        {R"({\rtf1\qc A\par\ql B})", "C|A\nB"},
        {R"({\rtf1\qc only})", "C|only"},
    });
}

TEST(RtfReader, EscapesAndCodePage1252) {
    check({
        {R"({\rtf1 a\\b\{c\}d})", "a\\b{c}d"},
        {R"({\rtf1 no\~break\_hy\-phen})", QString("no") + QChar(0x00A0) + "break" + QChar(0x2011) + "hyphen"},
        {R"({\rtf1 \'93quoted\'94})", QString(QChar(0x201C)) + "quoted" + QChar(0x201D)},
        {R"({\rtf1 caf\'e9 \'80 \'85 \'E9\'c9})", QString("caf") + QChar(0xE9) + " " + QChar(0x20AC) + " " + QChar(0x2026) +
                                                       " " + QChar(0xE9) + QChar(0xC9)},
        {R"({\rtf1 \'91\'92\'96\'97\'99\'a0\'ff})", QString(QChar(0x2018)) + QChar(0x2019) + QChar(0x2013) + QChar(0x2014) +
                                                       QChar(0x2122) + QChar(0xA0) + QChar(0xFF)},
        // Bytes above 127 in the text itself are code page 1252 as well.
        {"{\\rtf1 caf\xe9 \x93q\x94}", QString("caf") + QChar(0xE9) + " " + QChar(0x201C) + "q" + QChar(0x201D)},
    });
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallback) {
    check({
        {R"({\rtf1 \u8364?x})", QString(QChar(0x20AC)) + "x"},
        {R"({\rtf1 \u8220 ?x})", QString(QChar(0x201C)) + "x"},
        {R"({\rtf1 \u-3913?})", QString(QChar(0xF0B7))},
        {R"({\rtf1 \u-10179?\u-8704?!})", QString(QChar(0xD83D)) + QChar(0xDE00) + "!"},  // U+1F600 as two units
        {R"({\rtf1 \u233\'e9x})", QString(QChar(0xE9)) + "x"},  // the fallback written as an escape
        {R"({\rtf1\uc2\u233 abc})", QString(QChar(0xE9)) + "c"},
        {R"({\rtf1\uc0\u233 abc})", QString(QChar(0xE9)) + "abc"},
        // \uc holds inside its group only.
        {R"({\rtf1{\uc2\u233 ab}\u233 cd})", QString(QChar(0xE9)) + QChar(0xE9) + "d"},
        // A group's end ends the fallback; a \u in a skipped group or a table
        // never eats the text after it.
        {R"({\rtf1 {\u8364}x})", QString(QChar(0x20AC)) + "x"},
        {R"({\rtf1{\*\generator Writer\u8212?;}Hello})", "Hello"},
        {R"({\rtf1{\fonttbl{\f0 Caf\u233 e;}}\f0 Hello})", "Hello"},
    });
}

TEST(RtfReader, SkipsWhatItDoesNotShow) {
    check({
        {R"({\rtf1\ansi\ansicpg1252\cocoartf2639\deff0 \foo12 x\bar-3 y})", "xy"},
        {R"({\rtf1{\fonttbl{\f0\fmodern Courier New;}{\f1\fswiss Arial;}}{\colortbl;\red255\green0\blue0;})"
         R"({\*\generator Writer 1.0;}{\info{\title A title}{\author Me}}{\stylesheet{\s0 Normal;}})"
         R"({\*\unknown{\nested group} text}{\*\expandedcolortbl;;}Body})",
         "Body"},
        // Skipped destinations hold no paragraphs either.
        {R"({\rtf1 a{\*\foo b\par c\tab d}e})", "ae"},
        // \* counts only right after a group's brace.
        {R"({\rtf1 a\*b})", "ab"},
    });
}

TEST(RtfReader, CocoaStyleDocument) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\cocoartf2639\n"
        "\\cocoatextscaling0\\cocoaplatform0{\\fonttbl\\f0\\fmodern\\fcharset0 CourierNewPSMT;"
        "\\f1\\fmodern\\fcharset0 CourierNewPS-BoldMT;}\n"
        "{\\colortbl;\\red255\\green255\\blue255;}\n"
        "{\\*\\expandedcolortbl;;}\n"
        "\\paperw11900\\paperh16840\\margl1440\\margr1440\\vieww11520\\viewh8400\\viewkind0\n"
        "\\pard\\tx566\\tx1133\\pardirnatural\\qc\\partightenfactor0\n"
        "\n"
        "\\f0\\fs24 \\cf0 Centred title\\\n"
        "\\pard\\tx566\\pardirnatural\\partightenfactor0\n"
        "\n"
        "\\f1\\b \\cf0 Heading\n"
        "\\f0\\b0 \\\n"
        "Body \\'93text\\'94\\\n"
        "}";
    QTextDocument doc;
    ASSERT_TRUE(readRtf(rtf, doc));
    EXPECT_EQ(describe(doc), QString("C|Centred title\n[b]Heading[/b]\nBody ") + QChar(0x201C) + "text" + QChar(0x201D) + "\n");
    EXPECT_EQ(formatAt(doc, 0).fontFamilies().toStringList(), QStringList{"CourierNewPSMT"});
    EXPECT_EQ(formatAt(doc, 14).fontFamilies().toStringList(), QStringList{"CourierNewPS-BoldMT"});  // "Heading"
    EXPECT_EQ(formatAt(doc, 0).fontPointSize(), 12.0);
}

TEST(RtfReader, FontsSizesAndColours) {
    const QByteArray rtf =
        R"({\rtf1{\fonttbl{\f0\fmodern Courier New;}{\f1\fswiss Arial;}})"
        R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;})"
        R"(\f0\fs24 a\f1\fs30 b\cf1 c\cf2 d\cf0 e{\cf1\fs20 f}g})";
    QTextDocument doc;
    ASSERT_TRUE(readRtf(rtf, doc));
    ASSERT_EQ(doc.toPlainText(), "abcdefg");
    const struct {
        int index;
        const char* family;
        double points;
        QColor colour;  // invalid: none set
    } rows[] = {
        {0, "Courier New", 12, {}},         {1, "Arial", 15, {}},          {2, "Arial", 15, QColor(255, 0, 0)},
        {3, "Arial", 15, QColor(0, 0, 255)}, {4, "Arial", 15, {}},          {5, "Arial", 10, QColor(255, 0, 0)},
        {6, "Arial", 15, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.index);
        const QTextCharFormat f = formatAt(doc, r.index);
        EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{r.family});
        EXPECT_EQ(f.fontPointSize(), r.points);
        EXPECT_EQ(f.hasProperty(QTextFormat::ForegroundBrush), r.colour.isValid());
        if (r.colour.isValid()) {
            EXPECT_EQ(f.foreground().color(), r.colour);
        }
    }
}

TEST(RtfReader, NotRtfLeavesTheDocumentEmpty) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("hello"), QByteArray("{\\rt"), QByteArray(" {\\rtf1 x}"),
                                    QByteArray("\\rtf1 x}")}) {
        QTextDocument doc;
        doc.setPlainText("old text");
        EXPECT_FALSE(readRtf(bytes, doc)) << bytes.toStdString();
        EXPECT_TRUE(doc.toPlainText().isEmpty()) << bytes.toStdString();
    }
    // A second read replaces the first.
    QTextDocument doc;
    ASSERT_TRUE(readRtf(R"({\rtf1 first\par})", doc));
    ASSERT_TRUE(readRtf(R"({\rtf1 second})", doc));
    EXPECT_EQ(doc.toPlainText(), "second");
}

TEST(RtfReader, MalformedInputIsReadToTheEnd) {
    const QByteArray deep = "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + "}";
    const struct {
        QByteArray rtf;
        QString starts;  // what the text starts with
    } rows[] = {
        {"{\\rtf1 a\\'9", "a"},
        {"{\\rtf1 a\\'", "a"},
        {"{\\rtf1 a\\'zzb}", "a"},
        {"{\\rtf1 a\\", "a"},
        {"{\\rtf1 a\\u", "a"},
        {"{\\rtf1 a\\u-", "a"},
        {"{\\rtf1 a\\u99999999999999999999?b}", "a"},
        {"{\\rtf1 a\\uc99999999 \\u65 bcdefghijkl}", "aA"},
        {"{\\rtf1 a\\fs-99999999999 b\\fs99999999 c}", "abc"},
        {"{\\rtf1 a{\\colortbl\\red999\\green-5;}\\cf7 b\\cf-1 c\\cf1 d}", "abcd"},
        {"{\\rtf1 a{\\fonttbl{\\f0 Unterminated", "a"},
        {"{\\rtf1 a{\\fonttbl\\f-7 X;\\f99999999999 Y;}\\f-7 b\\f99999999999 c}", "abc"},
        {"{\\rtf1 a{\\*", "a"},
        {"{\\rtf1 a}}}}}", "a"},
        {"{\\rtf1 a\\" + QByteArray(1000, 'x') + "1 }", "a"},
        {QByteArray("{\\rtf1 a\0b}", 11), "a"},
        {deep, "deep"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rtf.left(60).toStdString());
        QTextDocument doc;
        EXPECT_TRUE(readRtf(r.rtf, doc));
        EXPECT_TRUE(doc.toPlainText().startsWith(r.starts)) << doc.toPlainText().left(60).toStdString();
    }
}

}  // namespace
}  // namespace bleeptone
