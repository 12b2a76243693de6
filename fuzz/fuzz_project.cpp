// Project files and built-in blocks are read from bytes nobody vouches for
// (a hand-edited or hostile .mmlp; a damaged block). Any bytes must read
// without a crash, and what was read must save as a well-formed file that
// reads back to the same values, as far as the reader promises:
// - the reader trims blanks around a value and turns ";" into a line break;
// - an editor's trailing empty lines are not stored.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>

#include "project/project_blocks.h"
#include "project/project_fields.h"
#include "project/project_file.h"
#include "project/project_model.h"

using namespace bleeptone;

namespace {

[[noreturn]] void fail(const char* what, int field, const QString& a = {}, const QString& b = {}) {
    std::fprintf(stderr, "fuzz_project: %s (field %d)\n  had:  \"%s\"\n  read: \"%s\"\n", what, field,
                 a.toUtf8().constData(), b.toUtf8().constData());
    std::abort();
}

bool isBlank(QChar c) { return c == ' ' || c == '\t'; }

// The file: header, then exactly one key line per stored field, in order.
void checkWellFormed(const QByteArray& bytes) {
    const QByteArray header = "\xEF\xBB\xBF\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n";
    if (!bytes.startsWith(header)) fail("file header", -1);
    if (bytes.contains('\r')) fail("carriage return in a saved file", -1);
    const QList<QByteArray> lines = bytes.mid(header.size()).split('\n');
    int i = 0;
    for (const ProjectField& f : projectFields()) {
        if (control::isMuteBox(f.number)) continue;
        if (i >= lines.size() || !lines[i].startsWith(QByteArray::number(f.number) + " = "))
            fail("key line out of place", f.number);
        ++i;
    }
    if (i != 35 || lines.size() != 36 || !lines[35].isEmpty()) fail("number of key lines", -1);
}

ProjectModel readBack(const ProjectModel& m) {
    const QByteArray bytes = projectFileBytes(m);
    checkWellFormed(bytes);
    ProjectModel back;
    loadBuiltIn(BuiltInProject::NewTemplate, back);
    if (!loadProjectBytes(bytes, "fuzz.mmlp", back).ok) fail("a saved file does not read back", -1);
    return back;
}

// A value the file can carry as it is: nothing the reader trims or turns
// into something else.
bool carriedAsIs(const QString& s, bool lines) {
    if (!s.isEmpty() && (isBlank(s.front()) || isBlank(s.back()))) return false;
    if (lines && s.endsWith('\n')) return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == '\r' || c == ';') return false;
        if (c.isHighSurrogate() && (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())) return false;
        if (c.isLowSurrogate() && (i == 0 || !s[i - 1].isHighSurrogate())) return false;
    }
    return true;
}

// Values read from a file: states and one-line texts come back exactly; an
// editor comes back exactly unless it ends with a line break, and then it
// loses only trailing line breaks and blanks.
void checkFileRoundTrip(const ProjectModel& read) {
    const ProjectModel back = readBack(read);
    for (const ProjectField& f : projectFields()) {
        if (control::isMuteBox(f.number)) continue;  // not stored in files
        const QString had = read.text(f.number), got = back.text(f.number);
        if (back.state(f.number) != read.state(f.number)) fail("state changed", f.number);
        if (f.kind == FieldKind::Text && got != had) fail("text changed", f.number, had, got);
        if (f.kind != FieldKind::Lines) continue;
        if (!had.endsWith('\n')) {
            if (got != had) fail("lines changed", f.number, had, got);
            continue;
        }
        if (!had.startsWith(got)) fail("lines are not a prefix", f.number, had, got);
        for (qsizetype i = got.size(); i < had.size(); ++i)
            if (had[i] != '\n' && !isBlank(had[i])) fail("lines lost more than trailing blanks", f.number, had, got);
    }
}

// Values from a block may hold anything; those the file carries as they are
// come back exactly.
void checkBlockRoundTrip(const ProjectModel& read) {
    const ProjectModel back = readBack(read);
    for (const ProjectField& f : projectFields()) {
        if (control::isMuteBox(f.number)) continue;  // not stored in files
        if (back.state(f.number) != read.state(f.number)) fail("state changed", f.number);
        if (f.kind == FieldKind::State) continue;
        const QString had = read.text(f.number);
        if (carriedAsIs(had, f.kind == FieldKind::Lines) && back.text(f.number) != had)
            fail("text changed", f.number, had, back.text(f.number));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    ProjectModel fromFile;
    loadBuiltIn(BuiltInProject::NewTemplate, fromFile);
    const ProjectModel before = fromFile;
    if (!loadProjectBytes(bytes, "fuzz.mmlp", fromFile).ok && !(fromFile == before))
        fail("a refused file changed fields", -1);
    checkFileRoundTrip(fromFile);

    ProjectModel fromBlock;
    loadBuiltIn(BuiltInProject::NewTemplate, fromBlock);
    loadBlock(bytes, fromBlock);
    checkBlockRoundTrip(fromBlock);
    return 0;
}
