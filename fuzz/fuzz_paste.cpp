// Arbitrary bytes as clipboard text (UTF-8) pasted into the New template:
// no crash, no hang. Then the text that Copy MML writes of the result must
// survive another paste and copy unchanged, apart from the variable names.
//
// Names are left out of the comparison because the text does not carry them
// faithfully: the default names ("CH2Verse", "Channel_3") are not set on
// paste, so they follow the position a block or pattern line lands in (a
// channel without verses writes no block, and the blocks after it move up),
// and the verse-name rule is not idempotent ("((s)s)" loses one "(s)" per
// copy; a tab that a name starts with is dropped on paste). A verse name
// holding "+" is not carried either: pattern lines split their entries at
// every "+", names included, so such a name is reset to the default before
// the first copy. Nor is a project info whose header would hold the closing
// marker " ];" before its end (a line that starts with "];" after another
// line, or the first line starting with "];"): the header ends at the first
// marker, so such an info is cleared before the first copy. Everything else
// (settings, verses, patterns, project info, the layout of the text) must
// come back exactly.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/mml_text.h"

using namespace bleeptone;

namespace {

const ProjectModel& newTemplate() {
    static const ProjectModel model = [] {
        ProjectModel m;
        if (!loadBuiltIn(BuiltInProject::NewTemplate, m)) {
            std::fprintf(stderr, "fuzz_paste: the New template is missing\n");
            std::abort();
        }
        return m;
    }();
    return model;
}

// The text with every verse and pattern variable name replaced by a letter.
QString withoutNames(const QString& text) {
    const QString verseMarker = QStringLiteral(".s = \"");
    const QString patternMarker = QStringLiteral(".s = ");
    QStringList lines = text.split('\n');
    for (QString& line : lines) {
        const qsizetype verse = line.indexOf(verseMarker);
        if (verse >= 0) {
            const qsizetype number = line.lastIndexOf('_', verse);
            line = "V" + line.mid(number < 0 ? verse : number);
            continue;
        }
        const qsizetype pattern = line.indexOf(patternMarker);
        if (pattern < 0) continue;
        QStringList entries = line.mid(pattern + patternMarker.size()).split(" + ");
        for (QString& e : entries) {
            const qsizetype u = e.indexOf('_');
            e = "V" + e.mid(u < 0 ? 0 : u);
        }
        line = "P.s = " + entries.join(" + ");
    }
    return lines.join('\n');
}

// The text for a report: control characters (NUL among them) as \xNN.
QByteArray printable(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        if (c == '\n' || c.unicode() >= 0x20) out += QString(c).toUtf8();
        else out += QByteArray("\\x") + QByteArray::number(c.unicode(), 16).rightJustified(2, '0');
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString clipboard = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ProjectModel first = newTemplate();
    const PasteResult firstResult = pasteMmlText(clipboard, first);
    for (int c = 1; c <= 4; ++c) {
        const int name = control::verseNameField(c);
        if (first.text(name).contains('+')) first.setText(name, QString("CH%1 Verse(s)").arg(c));
    }
    if ((";[ " + first.text(control::ProjectInfo).split('\n').join(" | ")).contains(" ];"))
        first.setText(control::ProjectInfo, QString());
    const QString copied = copyMmlText(first);

    ProjectModel second = newTemplate();
    const PasteResult secondResult = pasteMmlText(copied, second);
    const QString again = copyMmlText(second);

    // A project with verses comes back with them.
    bool anyVerse = false;
    for (int c = 1; c <= 4; ++c) anyVerse = anyVerse || !first.text(control::channelEditor(c)).isEmpty();
    if (anyVerse && secondResult != PasteResult::Ok) {
        std::fprintf(stderr, "fuzz_paste: a copied text with verses did not paste\n");
        std::abort();
    }
    if (firstResult == PasteResult::TooLong) return 0;
    if (withoutNames(again) != withoutNames(copied)) {
        std::fprintf(stderr, "fuzz_paste: copy of a paste of a copy differs\n--- first copy:\n%s\n--- second copy:\n%s\n",
                     printable(copied).constData(), printable(again).constData());
        std::abort();
    }
    return 0;
}
