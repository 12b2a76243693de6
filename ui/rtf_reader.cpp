#include "ui/rtf_reader.h"

#include <QColor>
#include <QFont>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <vector>

namespace bleeptone {

namespace {

constexpr int kMaxDepth = 256;  // deeper groups are read as if flat

// Code page 1252's characters 0x80..0x9F (the rest is ISO 8859-1).
QChar fromCp1252(unsigned char c) {
    static const char16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
    };
    return c >= 0x80 && c < 0xA0 ? QChar(high[c - 0x80]) : QChar(c);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

enum class Destination { Text, FontTable, ColourTable, Skip };

struct GroupState {
    Destination destination = Destination::Text;
    bool bold = false, italic = false, underline = false;
    int font = 0;
    int halfPoints = 24;
    int colour = 0;
    Qt::Alignment alignment = Qt::AlignLeft;
    int unicodeSkip = 1;
};

class Reader {
public:
    Reader(const QByteArray& rtf, QTextDocument& doc) : in_(rtf), cursor_(&doc) {}

    void run() {
        states_.push_back(GroupState{});
        std::size_t i = 0;
        const std::size_t n = static_cast<std::size_t>(in_.size());
        while (i < n) {
            const char c = in_[static_cast<qsizetype>(i)];
            if (c == '{') {
                if (states_.size() < kMaxDepth) states_.push_back(states_.back());
                else ++extraDepth_;
                pendingDestination_ = true;
                ++i;
            } else if (c == '}') {
                endGroup();
                ++i;
            } else if (c == '\\') {
                i = controlWord(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                pendingDestination_ = false;
                text(QChar(static_cast<unsigned char>(c) < 0x80 ? QChar(c) : fromCp1252(static_cast<unsigned char>(c))));
                ++i;
            }
        }
        flush();
        // A last paragraph without its \par still takes the alignment it was written in.
        if (!cursor_.block().text().isEmpty()) {
            QTextBlockFormat block = cursor_.blockFormat();
            block.setAlignment(lastTextAlignment_);
            cursor_.setBlockFormat(block);
        }
    }

private:
    GroupState& state() { return states_.back(); }

    void endGroup() {
        flush();
        skipFallback_ = 0;  // a group's end also ends the characters standing in for a \u
        if (extraDepth_ > 0) {
            --extraDepth_;
            return;
        }
        if (states_.size() > 1) {
            const bool fontEntry = states_.back().destination == Destination::FontTable;
            states_.pop_back();
            if (fontEntry) finishFont();  // an entry without its ";"
        }
    }

    // Reads a control word or symbol starting after the backslash; returns
    // the position after it.
    std::size_t controlWord(std::size_t i) {
        const std::size_t n = static_cast<std::size_t>(in_.size());
        if (i >= n) return i;
        const char c = in_[static_cast<qsizetype>(i)];
        const bool wasPendingDestination = pendingDestination_;
        pendingDestination_ = false;
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            switch (c) {
                case '\\': case '{': case '}': text(QChar(c)); return i + 1;
                case '~': text(QChar(0x00A0)); return i + 1;
                case '-': return i + 1;                         // optional hyphen
                case '_': text(QChar(0x2011)); return i + 1;
                case '*': if (wasPendingDestination) state().destination = Destination::Skip; return i + 1;
                case '\'': {
                    const int hi = i + 1 < n ? hexValue(in_[static_cast<qsizetype>(i + 1)]) : -1;
                    const int lo = i + 2 < n ? hexValue(in_[static_cast<qsizetype>(i + 2)]) : -1;
                    if (hi < 0 || lo < 0) return i + 1;
                    text(fromCp1252(static_cast<unsigned char>(hi * 16 + lo)));
                    return i + 3;
                }
                case '\r': case '\n': paragraph(); return i + 1;  // "\" at a line end is a paragraph
                default: return i + 1;
            }
        }
        std::size_t end = i;
        while (end < n && std::isalpha(static_cast<unsigned char>(in_[static_cast<qsizetype>(end)])) && end - i < 32) ++end;
        const QByteArray word = in_.mid(static_cast<qsizetype>(i), static_cast<qsizetype>(end - i));
        bool hasNumber = false;
        long long number = 0;
        bool negative = false;
        if (end < n && in_[static_cast<qsizetype>(end)] == '-') negative = true, ++end;
        std::size_t digits = 0;
        while (end < n && std::isdigit(static_cast<unsigned char>(in_[static_cast<qsizetype>(end)]))) {
            if (digits++ < 10) number = number * 10 + (in_[static_cast<qsizetype>(end)] - '0');
            hasNumber = true;
            ++end;
        }
        if (negative) number = -number;
        if (end < n && in_[static_cast<qsizetype>(end)] == ' ') ++end;  // the delimiter
        apply(word, hasNumber, static_cast<int>(std::clamp<long long>(number, -1000000, 1000000)), wasPendingDestination);
        return end;
    }

    void apply(const QByteArray& w, bool hasNumber, int n, bool atGroupStart) {
        GroupState& s = state();
        if (w == "par") return paragraph();
        if (w == "line") return text(QChar(QChar::LineSeparator));
        if (w == "tab") return text('\t');
        if (w == "u") {
            skipFallback_ = 0;
            text(QChar(static_cast<char16_t>(static_cast<std::int16_t>(n))));
            skipFallback_ = s.unicodeSkip;  // the plain characters standing in for it
            return;
        }
        if (w == "uc") s.unicodeSkip = std::clamp(n, 0, 8);
        else if (w == "b") s.bold = !hasNumber || n != 0;
        else if (w == "i") s.italic = !hasNumber || n != 0;
        else if (w == "ul") s.underline = !hasNumber || n != 0;
        else if (w == "ulnone") s.underline = false;
        else if (w == "plain") s.bold = s.italic = s.underline = false, s.halfPoints = 24, s.font = 0;
        else if (w == "qc") s.alignment = Qt::AlignHCenter;
        else if (w == "ql") s.alignment = Qt::AlignLeft;
        else if (w == "qr") s.alignment = Qt::AlignRight;
        else if (w == "qj") s.alignment = Qt::AlignJustify;
        else if (w == "pard") s.alignment = Qt::AlignLeft;
        else if (w == "f") {
            if (s.destination == Destination::FontTable) fontNumber_ = n;
            else s.font = n;
        } else if (w == "fs") s.halfPoints = std::clamp(n, 2, 400);
        else if (w == "cf") s.colour = n;
        else if (w == "fonttbl") s.destination = Destination::FontTable;
        else if (w == "colortbl") {
            s.destination = Destination::ColourTable;
            colours_.clear();
            colour_ = QColor(0, 0, 0);
            colourStarted_ = false;
        } else if (w == "red") colour_.setRed(std::clamp(n, 0, 255)), colourStarted_ = true;
        else if (w == "green") colour_.setGreen(std::clamp(n, 0, 255)), colourStarted_ = true;
        else if (w == "blue") colour_.setBlue(std::clamp(n, 0, 255)), colourStarted_ = true;
        else if (atGroupStart && (w == "info" || w == "stylesheet" || w == "pict" || w == "header" || w == "footer" ||
                                  w == "object" || w == "listtable" || w == "listoverridetable" || w == "expandedcolortbl"))
            s.destination = Destination::Skip;
    }

    void text(QChar ch) {
        GroupState& s = state();
        // The plain characters standing in for a \u count in every destination.
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (s.destination == Destination::Skip) return;
        if (s.destination == Destination::FontTable) {
            if (ch == ';') finishFont();
            else fontName_ += ch;
            return;
        }
        if (s.destination == Destination::ColourTable) {
            if (ch == ';') {
                colours_.push_back(colourStarted_ ? colour_ : QColor());
                colour_ = QColor(0, 0, 0);
                colourStarted_ = false;
            }
            return;
        }
        lastTextAlignment_ = s.alignment;
        if (!pending_.isEmpty() && !sameFormat(s)) flush();
        if (pending_.isEmpty()) pendingState_ = s;
        pending_ += ch;
    }

    bool sameFormat(const GroupState& s) const {
        return s.bold == pendingState_.bold && s.italic == pendingState_.italic &&
               s.underline == pendingState_.underline && s.font == pendingState_.font &&
               s.halfPoints == pendingState_.halfPoints && s.colour == pendingState_.colour;
    }

    void flush() {
        if (pending_.isEmpty()) return;
        QTextCharFormat f;
        const auto font = fonts_.find(pendingState_.font);
        if (font != fonts_.end() && !font->second.isEmpty()) f.setFontFamilies({font->second});
        f.setFontPointSize(pendingState_.halfPoints / 2.0);
        f.setFontWeight(pendingState_.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(pendingState_.italic);
        f.setFontUnderline(pendingState_.underline);
        if (pendingState_.colour > 0 && pendingState_.colour < static_cast<int>(colours_.size()) &&
            colours_[static_cast<std::size_t>(pendingState_.colour)].isValid())
            f.setForeground(colours_[static_cast<std::size_t>(pendingState_.colour)]);
        cursor_.insertText(pending_, f);
        pending_.clear();
    }

    void paragraph() {
        if (state().destination != Destination::Text) return;
        flush();
        QTextBlockFormat block = cursor_.blockFormat();
        block.setAlignment(state().alignment);
        cursor_.setBlockFormat(block);
        cursor_.insertBlock();
    }

    void finishFont() {
        QString name = fontName_.trimmed();
        if (name.endsWith(';')) name.chop(1);
        if (fontNumber_ >= 0 && !name.isEmpty()) fonts_[fontNumber_] = name;
        fontName_.clear();
    }

    const QByteArray& in_;
    QTextCursor cursor_;
    std::vector<GroupState> states_;
    int extraDepth_ = 0;
    bool pendingDestination_ = false;
    int skipFallback_ = 0;
    QString pending_;
    GroupState pendingState_;
    std::map<int, QString> fonts_;
    int fontNumber_ = -1;
    QString fontName_;
    std::vector<QColor> colours_;
    QColor colour_;
    bool colourStarted_ = false;
    Qt::Alignment lastTextAlignment_ = Qt::AlignLeft;
};

}  // namespace

bool readRtf(const QByteArray& rtf, QTextDocument& document) {
    document.clear();
    if (!rtf.startsWith("{\\rtf")) return false;
    Reader(rtf, document).run();
    return true;
}

}  // namespace bleeptone
