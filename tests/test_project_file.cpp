// The .mmlp project file (writing byte for byte, the tolerant reader with its
// positional walk, the limits, atomic saving) and the five built-in project
// blocks, all on a ProjectModel: no window involved.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "project/project_blocks.h"
#include "project/project_fields.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "tests/qt_printers.h"
#include "tests/test_support.h"
#include "ui/window_numbers.h"

// Readable failure messages.

namespace bleeptone {
namespace {

using testing::FileSizeLimit;
using testing::TempDirTest;

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kHeader = kBom + "\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n";

// The New template file, written out line by line.
const char* const kNewTemplateKeyLines[] = {
    "3 = 12",  "1 = 2",
    "8 = 0",   "10 = 4", "12 = 40", "14 = 0", "17 = CH1 Verse(s)", "18 = ",
    "21 = 0",  "23 = 4", "25 = 40", "27 = 0", "30 = CH2 Verse(s)", "31 = ",
    "34 = 0",  "36 = 4", "38 = 40", "40 = 0", "43 = CH3 Verse(s)", "44 = ",
    "47 = 0",  "49 = 4", "51 = 40", "53 = 0", "56 = CH4 Verse(s)", "57 = ",
    "60 = Channel 1", "61 = ", "62 = Channel 2", "63 = ", "64 = Channel 3", "65 = ", "66 = Channel 4", "67 = ",
    "69 = ",
};

QByteArray newTemplateFile() {
    QByteArray bytes = kHeader;
    for (const char* line : kNewTemplateKeyLines) bytes += QByteArray(line) + '\n';
    return bytes;
}

// A file with the usual header and these Settings lines.
QByteArray fileWithKeys(const QStringList& keyLines) {
    QByteArray bytes = kHeader;
    for (const QString& line : keyLines) bytes += line.toUtf8() + '\n';
    return bytes;
}

ProjectModel newTemplateModel() {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    return m;
}

// The New-template column of the field table, field by field.
ProjectModel expectedNewTemplate() {
    ProjectModel m;
    m.setState(3, 12);
    m.setState(1, 2);
    for (int c = 1; c <= 4; ++c) {
        const int b = 7 + 13 * (c - 1);
        m.setState(b + 1, 0);
        m.setState(b + 3, 4);
        m.setState(b + 5, 40);
        m.setState(b + 7, 0);
        m.setState(b + 8, 0);
        m.setText(b + 10, QString("CH%1 Verse(s)").arg(c));
        m.setText(b + 11, "");
    }
    for (int i = 1; i <= 4; ++i) {
        m.setText(60 + 2 * (i - 1), QString("Channel %1").arg(i));
        m.setText(61 + 2 * (i - 1), "");
    }
    m.setText(69, "");
    return m;
}

// Loads bytes into a copy of the New template; the result and the model.
std::pair<ProjectIoResult, ProjectModel> loadIntoTemplate(const QByteArray& bytes, const QString& name = "t.mmlp") {
    ProjectModel m = newTemplateModel();
    ProjectIoResult r = loadProjectBytes(bytes, name, m);
    return {r, m};
}

// ---------------------------------------------------------------------------
// Writing.

// The control numbers are the keys of project files (and the window's other
// controls keep theirs): written out here once from the window's table, so
// that a change to control_numbers.h that would break existing files fails.
TEST(ControlNumbers, AreTheFileFormatKeys) {
    const struct {
        const char* what;
        int number, expected;
    } rows[] = {
        {"measure box", control::MeasureBox, 1},    {"tempo box", control::TempoBox, 3},
        {"Play", control::PlayButton, 4},            {"Stop", control::StopButton, 5},
        {"Copy MML", control::CopyMmlButton, 6},     {"channel 1 frame", control::channelBase(1), 7},
        {"waveform 1", control::waveformBox(1), 8},  {"octave 2", control::octaveBox(2), 23},
        {"volume 3", control::volumeBox(3), 38},     {"decay 4", control::decayBox(4), 53},
        {"mute 1", control::muteBox(1), 15},         {"verse name 2", control::verseNameField(2), 30},
        {"editor 1", control::channelEditor(1), 18}, {"editor 2", control::channelEditor(2), 31},
        {"editor 3", control::channelEditor(3), 44}, {"editor 4", control::channelEditor(4), 57},
        {"info bar 4", control::infoBar(4), 58},     {"pattern frame", control::PatternFrame, 59},
        {"pattern name 1", control::patternNameField(1), 60}, {"pattern 1", control::patternField(1), 61},
        {"pattern name 4", control::patternNameField(4), 66}, {"pattern 4", control::patternField(4), 67},
        {"project info frame", control::ProjectInfoFrame, 68}, {"project info", control::ProjectInfo, 69},
        {"playing time", control::PlayingTime, 70},  {"Paste MML", control::PasteMmlButton, 71},
        {"module copy link", control::ModuleCopyLink, 73},
    };
    for (const auto& r : rows) EXPECT_EQ(r.number, r.expected) << r.what;
    // And the way back from a number.
    EXPECT_EQ(control::channelOfEditor(44), 3);
    EXPECT_EQ(control::channelOfEditor(45), 0);  // an info bar
    EXPECT_EQ(control::channelOfEditor(69), 0);  // the project info
    EXPECT_TRUE(control::isMuteBox(54));
    EXPECT_FALSE(control::isMuteBox(55));
    EXPECT_EQ(control::rowOfPatternField(65), 3);
    EXPECT_EQ(control::rowOfPatternField(64), 0);  // a name field
}

TEST(ProjectFileWriting, NewTemplateByteForByte) {
    const QByteArray bytes = projectFileBytes(newTemplateModel());
    EXPECT_EQ(bytes, newTemplateFile());
    // The fixed header and where its parts sit.
    EXPECT_EQ(bytes.left(4), kBom + "\n");
    EXPECT_EQ(bytes.mid(4, 10), QByteArray("[Version]\n"));
    EXPECT_EQ(bytes.mid(14, 22), QByteArray("VersionNumber = 1.0.0\n"));
    EXPECT_EQ(bytes.mid(36, 11), QByteArray("[Settings]\n"));
    EXPECT_EQ(bytes.mid(47).count('\n'), 35);
    EXPECT_FALSE(bytes.contains('\r'));
    EXPECT_TRUE(bytes.endsWith("69 = \n"));
}

TEST(ProjectFileWriting, EditorLinesAreJoinedWithSemicolonsWithoutTrailingOnes) {
    const struct {
        QString editor;
        QString stored;
        QString readBack;
    } rows[] = {
        {"cde\n\nfg\n", "cde;;fg", "cde\n\nfg"},
        {"cde\n\nfg\n\n\n", "cde;;fg", "cde\n\nfg"},
        {"", "", ""},
        {"\n\n", "", ""},
        {"\nab", ";ab", "\nab"},
        {"l8 c\no5 d", "l8 c;o5 d", "l8 c\no5 d"},
        {"a\r\nb\rc\r\n", "a;b;c", "a\nb\nc"},  // every kind of line break
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.editor.toStdString());
        ProjectModel m = newTemplateModel();
        m.setText(18, r.editor);
        m.setText(69, r.editor);
        const QByteArray bytes = projectFileBytes(m);
        EXPECT_TRUE(bytes.contains("\n18 = " + r.stored.toUtf8() + "\n"));
        EXPECT_TRUE(bytes.contains("\n69 = " + r.stored.toUtf8() + "\n"));
        auto [result, back] = loadIntoTemplate(bytes);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(back.text(18), r.readBack);
        EXPECT_EQ(back.text(69), r.readBack);
    }
}

// A one-line field holding a line break (as it reads back from a file's ";")
// is written with ";" again, so a key line never breaks.
TEST(ProjectFileWriting, LineBreakInOneLineFieldIsWrittenAsSemicolon) {
    for (int number : {17, 30, 43, 56, 60, 61, 62, 63, 64, 65, 66, 67}) {
        SCOPED_TRACE(number);
        ProjectModel m = newTemplateModel();
        m.setText(number, "a\nb");
        const QByteArray bytes = projectFileBytes(m);
        EXPECT_EQ(bytes.count('\n'), 39);
        EXPECT_TRUE(bytes.contains("\n" + QByteArray::number(number) + " = a;b\n"));
    }
}

// ---------------------------------------------------------------------------
// Reading.

TEST(ProjectFileReading, NewTemplateFileReadsIntoTheTemplateValues) {
    ProjectModel m;
    ASSERT_TRUE(loadBuiltIn(BuiltInProject::Demo4, m));  // differs from the template almost everywhere
    const ProjectIoResult r = loadProjectBytes(newTemplateFile(), "New.mmlp", m);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(m, expectedNewTemplate());
}

TEST(ProjectFileReading, SemicolonInOneLineFieldsBecomesLineFeedAndSurvivesAgain) {
    ProjectModel m = newTemplateModel();
    m.setText(17, "Intro;Verse");
    m.setText(60, "Lead;Bass");
    m.setText(61, "1+2;3");
    const QByteArray first = projectFileBytes(m);
    EXPECT_TRUE(first.contains("\n17 = Intro;Verse\n"));
    auto [r1, once] = loadIntoTemplate(first);
    ASSERT_TRUE(r1.ok);
    EXPECT_EQ(once.text(17), "Intro\nVerse");
    EXPECT_EQ(once.text(60), "Lead\nBass");
    EXPECT_EQ(once.text(61), "1+2\n3");
    // A second save and load gives the same file and the same values.
    const QByteArray second = projectFileBytes(once);
    EXPECT_EQ(second, first);
    auto [r2, twice] = loadIntoTemplate(second);
    ASSERT_TRUE(r2.ok);
    EXPECT_EQ(twice, once);
}

TEST(ProjectFileReading, ByteOrderMarkDecidesTheEncoding) {
    const QByteArray keys = "3 = 12\n1 = 2\n8 = 0\n10 = 4\n12 = 40\n14 = 0\n17 = Caf\xC3\xA9 \xE9\n";
    const QByteArray body = "\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n" + keys;
    {
        auto [r, m] = loadIntoTemplate(kBom + body);
        ASSERT_TRUE(r.ok);
        // UTF-8: C3 A9 is "é"; a stray E9 is not valid UTF-8.
        EXPECT_TRUE(m.text(17).startsWith(QString::fromUtf8("Caf\xC3\xA9 ")));
    }
    {
        auto [r, m] = loadIntoTemplate(body);
        ASSERT_TRUE(r.ok);
        // Without the mark every byte is one ISO-8859-1 character.
        EXPECT_EQ(m.text(17), QString("Caf") + QChar(0xC3) + QChar(0xA9) + ' ' + QChar(0xE9));
    }
    {
        auto [r, m] = loadIntoTemplate("\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n3 = 12\n1 = 2\n8 = 0\n10 = 4\n"
                                       "12 = 40\n14 = 0\n17 = \xE9t\xE9\n");
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(m.text(17), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));  // "été"
    }
}

TEST(ProjectFileReading, LineEndsCommentsBlanksAndLetterCase) {
    const QByteArray lf = newTemplateFile();
    QByteArray cr = lf;
    cr.replace('\n', '\r');
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QByteArray loose = lf;  // comments, blank lines, indentation, runs of line ends
    loose.replace("\n[Settings]\n", "\n\n  ; a comment\n\t[Settings]   trailing words\n\n\n; 3 = 1\n");
    loose.replace("\n1 = 2\n", "\n   1\t =  \t2\r\n\r\n");
    QByteArray lower = lf;
    lower.replace("[Version]", "[version]").replace("VersionNumber", "versionnumber").replace("[Settings]", "[settings]");
    QByteArray upper = lf;
    upper.replace("[Version]", "[VERSION]").replace("VersionNumber", "VERSIONNUMBER").replace("[Settings]", "[SETTINGS]");
    const QByteArray paddedVersion = QByteArray(lf).replace("VersionNumber = 1.0.0", "VersionNumber=\t 1.0.0 \t");

    const std::pair<const char*, QByteArray> rows[] = {
        {"CR only", cr},           {"CR LF", crlf},          {"comments and blanks", loose},
        {"lower case", lower},     {"upper case", upper},    {"blanks around the version", paddedVersion},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        ProjectModel m;
        ASSERT_TRUE(loadBuiltIn(BuiltInProject::Demo4, m));
        const ProjectIoResult r = loadProjectBytes(bytes, "t.mmlp", m);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(m, expectedNewTemplate());
    }
}

TEST(ProjectFileReading, ValuesAreTrimmedAndNumbersReadAsDecimal) {
    ProjectModel start = newTemplateModel();
    auto [r, m] = loadIntoTemplate(fileWithKeys({"3 =   9  ", "1=0", "8 = 3", "10 = 07", "12 = 50", "14 = 2",
                                                 "17 = \t Lead  voice \t", "18 =   l8 cd ;  e  "}));
    ASSERT_TRUE(r.ok);
    ProjectModel expected = start;
    expected.setState(3, 9);
    expected.setState(1, 0);
    expected.setState(8, 3);
    expected.setState(10, 7);
    expected.setState(12, 50);
    expected.setState(14, 2);
    expected.setText(17, "Lead  voice");
    expected.setText(18, "l8 cd \n  e");
    EXPECT_EQ(m, expected);
}

// A file that is not usable changes no field.
TEST(ProjectFileReading, VersionAndSettingsGroupAreRequired) {
    QByteArray full = newTemplateFile();
    full.replace("3 = 12", "3 = 9");  // would change the tempo if read
    const std::pair<const char*, QByteArray> rows[] = {
        {"version 1.0.1", QByteArray(full).replace("= 1.0.0", "= 1.0.1")},
        {"version 1.0", QByteArray(full).replace("= 1.0.0", "= 1.0")},
        {"version v1.0.0", QByteArray(full).replace("= 1.0.0", "= v1.0.0")},
        {"empty version", QByteArray(full).replace("= 1.0.0", "=")},
        {"no version key", QByteArray(full).replace("VersionNumber = 1.0.0\n", "")},
        {"no version group", QByteArray(full).replace("[Version]\n", "")},
        {"version key in another group", QByteArray(full).replace("[Version]", "[Versions]")},
        {"no settings group", QByteArray(full).replace("[Settings]\n", "")},
        {"settings under another name", QByteArray(full).replace("[Settings]", "[Setting]")},
        {"empty", QByteArray()},
        {"only the mark", kBom},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        const ProjectModel before = newTemplateModel();
        ProjectModel m = before;
        const ProjectIoResult r = loadProjectBytes(bytes, "Broken.mmlp", m);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains("Broken.mmlp")) << r.error.toStdString();
        EXPECT_EQ(m, before);
    }
}

// The walk through [Settings] goes by position: the 1st and 2nd key set
// numbers; then channel blocks of a number, three numbers and two texts,
// until a key named exactly "57"; every later key sets a text. The control
// number comes from each key's name.
TEST(ProjectFileReading, PositionalWalk) {
    using Change = std::function<void(ProjectModel&)>;
    const struct {
        const char* what;
        QStringList keys;
        Change change;
    } rows[] = {
        {"tempo and measure swapped", {"1 = 0", "3 = 9"},
         [](ProjectModel& m) { m.setState(1, 0); m.setState(3, 9); }},
        {"a channel block in another order",
         {"3 = 9", "1 = 0", "10 = 6", "8 = 3", "14 = 2", "12 = 50", "18 = cd;e", "17 = Lead"},
         [](ProjectModel& m) {
             m.setState(3, 9); m.setState(1, 0); m.setState(10, 6); m.setState(8, 3); m.setState(14, 2);
             m.setState(12, 50); m.setText(18, "cd\ne"); m.setText(17, "Lead");
         }},
        // Without key 12 the verse name falls on a number place (and is
        // lost), the editor on the verse-name place and key 60 on the
        // editor place: both are texts.
        {"a missing key shifts the rest",
         {"3 = 9", "1 = 0", "8 = 3", "10 = 6", "14 = 2", "17 = Lead", "18 = cd", "60 = P;Q"},
         [](ProjectModel& m) {
             m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); m.setState(10, 6); m.setState(14, 2);
             m.setText(18, "cd"); m.setText(60, "P\nQ");
         }},
        {"key 57 on the editor place ends the channel blocks",
         {"3 = 9", "1 = 0", "8 = 3", "10 = 6", "12 = 50", "14 = 2", "17 = Lead", "57 = ab;c", "60 = One", "61 = 1+2;3"},
         [](ProjectModel& m) {
             m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); m.setState(10, 6); m.setState(12, 50);
             m.setState(14, 2); m.setText(17, "Lead"); m.setText(57, "ab\nc"); m.setText(60, "One");
             m.setText(61, "1+2\n3");
         }},
        {"key 57 on a number place ends them too",
         {"3 = 9", "1 = 0", "8 = 3", "57 = zz", "60 = One"},
         [](ProjectModel& m) { m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); m.setText(60, "One"); }},
        // "057" names control 57 but is not the name "57": the blocks go on,
        // and key 60 is the next block's first number (a text field: ignored).
        {"only the exact name 57 ends them",
         {"3 = 9", "1 = 0", "8 = 3", "10 = 6", "12 = 50", "14 = 2", "17 = Lead", "057 = ab", "60 = One", "61 = x"},
         [](ProjectModel& m) {
             m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); m.setState(10, 6); m.setState(12, 50);
             m.setState(14, 2); m.setText(17, "Lead"); m.setText(57, "ab");
         }},
        // An unknown key still takes its place in the walk.
        {"an unknown key counts as a place",
         {"99 = 4", "3 = 9", "60 = Lead", "57 = x", "62 = Bass"},
         [](ProjectModel& m) { m.setState(3, 9); m.setText(62, "Bass"); }},
        {"comments take no place", {"3 = 9", "; 1 = 0", "1 = 1"},
         [](ProjectModel& m) { m.setState(3, 9); m.setState(1, 1); }},
        {"the next group ends the settings", {"3 = 9", "[Other]", "1 = 0"},
         [](ProjectModel& m) { m.setState(3, 9); }},
        {"mute keys on number places are not read", {"3 = 9", "1 = 0", "15 = 1", "28 = 1", "57 = "},
         [](ProjectModel& m) { m.setState(3, 9); m.setState(1, 0); }},
        {"mute keys on text places are not read", {"3 = 9", "1 = 0", "8 = 3", "57 = ", "15 = 1", "41 = 1", "54 = 1"},
         [](ProjectModel& m) { m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); }},
        {"keys of other controls are ignored",
         {"3 = 9", "1 = 0", "8 = 3", "57 = ", "4 = Hijack", "70 = 12:00", "0 = Label", "7 = Frame", "200 = x",
          "-5 = y", "69 = Title;Notice"},
         [](ProjectModel& m) { m.setState(3, 9); m.setState(1, 0); m.setState(8, 3); m.setText(69, "Title\nNotice"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto [r, m] = loadIntoTemplate(fileWithKeys(row.keys));
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        ProjectModel expected = newTemplateModel();
        row.change(expected);
        EXPECT_EQ(m, expected);
    }
}

TEST(ProjectFileReading, ExtensionMustBeExactlyMmlp) {
    const std::pair<const char*, bool> rows[] = {
        {"a.mmlp", true},        {"/home/u/Song.mmlp", true}, {"/x/a.b.mmlp", true},    {".mmlp", true},
        {"tune.MMLP", false},    {"tune.Mmlp", false},        {"tune.mmlp.bak", false}, {"tune", false},
        {"/x.mmlp/tune", false}, {"tune.mmlp ", false},       {"tune.mml", false},      {"tune.", false},
    };
    for (const auto& [path, ok] : rows) EXPECT_EQ(hasProjectExtension(path), ok) << path;
}

class ProjectFileOnDisk : public TempDirTest {
protected:
    QString write(const std::string& name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return f.fileName();
    }
};

TEST_F(ProjectFileOnDisk, SaveWritesTheSameBytes) {
    const ProjectIoResult r = saveProjectFile(QString::fromStdString(path("New.mmlp")), newTemplateModel());
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    const testing::Bytes onDisk = testing::readBytes(path("New.mmlp"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(onDisk.data()), static_cast<qsizetype>(onDisk.size())),
              newTemplateFile());
    EXPECT_EQ(fileCount(), 1u);
}

TEST_F(ProjectFileOnDisk, UnusablePathsChangeNothing) {
    QByteArray changing = newTemplateFile();
    changing.replace("3 = 12", "3 = 9");
    const QString upper = write("tune.MMLP", changing);
    const QString bak = write("tune.mmlp.bak", changing);
    std::filesystem::create_directory(path("folder.mmlp"));
    const QString missing = QString::fromStdString(path("missing.mmlp"));
    const QString folder = QString::fromStdString(path("folder.mmlp"));
    const std::pair<QString, QString> rows[] = {
        {upper, "tune.MMLP"}, {bak, "tune.mmlp.bak"}, {missing, "missing.mmlp"}, {folder, "folder.mmlp"}};
    for (const auto& [file, name] : rows) {
        SCOPED_TRACE(name.toStdString());
        const ProjectModel before = newTemplateModel();
        ProjectModel m = before;
        const ProjectIoResult r = loadProjectFile(file, m);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(name)) << r.error.toStdString();
        EXPECT_EQ(m, before);
    }
    // The same bytes under the right name are read.
    ProjectModel m = newTemplateModel();
    EXPECT_TRUE(loadProjectFile(write("tune.mmlp", changing), m).ok);
    EXPECT_EQ(m.state(3), 9);
}

// Up to 16 MiB is read; one byte more is refused.
TEST_F(ProjectFileOnDisk, SixteenMebibyteLimit) {
    QByteArray changing = newTemplateFile();
    changing.replace("3 = 12", "3 = 9");
    const qint64 limit = 16 * 1024 * 1024;
    ASSERT_EQ(kMaxProjectFileBytes, limit);
    // Pad with one long comment line at the end.
    QByteArray atLimit = changing + ";" + QByteArray(limit - changing.size() - 2, 'x') + "\n";
    ASSERT_EQ(atLimit.size(), limit);
    {
        ProjectModel m = newTemplateModel();
        const ProjectIoResult r = loadProjectFile(write("big.mmlp", atLimit), m);
        EXPECT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(m.state(3), 9);
    }
    {
        const QByteArray over = atLimit + "\n";
        const ProjectModel before = newTemplateModel();
        ProjectModel m = before;
        const ProjectIoResult r = loadProjectFile(write("bigger.mmlp", over), m);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains("bigger.mmlp")) << r.error.toStdString();
        EXPECT_EQ(m, before);
    }
}

TEST_F(ProjectFileOnDisk, FailedSaveReportsAndWritesNothing) {
    const std::string dirPath = path("sub.mmlp");
    std::filesystem::create_directory(dirPath);
    const std::pair<std::string, std::string> rows[] = {
        {path("missing/Tune.mmlp"), "Tune.mmlp"},  // a folder that does not exist
        {dirPath, "sub.mmlp"},                    // the path is a folder
    };
    for (const auto& [target, name] : rows) {
        SCOPED_TRACE(target);
        const ProjectIoResult r = saveProjectFile(QString::fromStdString(target), newTemplateModel());
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(QString::fromStdString(name))) << r.error.toStdString();
        EXPECT_GT(r.error.size(), static_cast<qsizetype>(target.size()));  // and a reason
    }
    EXPECT_EQ(fileCount(), 1u);  // only the folder: no stray temporary file
    EXPECT_TRUE(std::filesystem::is_empty(dirPath));
}

TEST_F(ProjectFileOnDisk, FailedWriteLeavesThePreviousFileIntact) {
    const QByteArray previous = newTemplateFile();
    const QString file = write("Song.mmlp", previous);
    ProjectModel m = newTemplateModel();
    m.setText(18, QString(2000, 'c'));
    ProjectIoResult r;
    {
        const FileSizeLimit limit(100);  // the new file cannot be written in full
        ASSERT_TRUE(limit.ok());
        r = saveProjectFile(file, m);
    }
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("Song.mmlp")) << r.error.toStdString();
    const testing::Bytes onDisk = testing::readBytes(path("Song.mmlp"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(onDisk.data()), static_cast<qsizetype>(onDisk.size())), previous);
    EXPECT_EQ(fileCount(), 1u);
    // Without the limit the same save replaces the file.
    ASSERT_TRUE(saveProjectFile(file, m).ok);
    EXPECT_EQ(testing::readBytes(path("Song.mmlp")).size(), static_cast<std::size_t>(projectFileBytes(m).size()));
}

// ---------------------------------------------------------------------------
// Property: any project saved and read back gives every stored value again.

QString randomText(std::mt19937& rng, int maxLength, bool allowLineFeed) {
    // ASCII letters and signs, blanks, Latin-1, CJK, a pair outside the BMP;
    // no ";" (it reads back as a line break) and no carriage return.
    static const QString pool = QString::fromUtf8(
        "abcdefgxyzABCXYZ0123456789+-#<>.,:*\\=[]!\"' \t\xC3\xA9\xC3\xBC\xC3\x9F\xC2\xA9\xE4\xB8\xAD\xE6\x96\x87"
        "\xF0\x9F\x8E\xB5");
    std::uniform_int_distribution<int> length(0, maxLength);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pool.size()) - 1);
    std::bernoulli_distribution lineBreak(0.08);
    QString s;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
        if (allowLineFeed && lineBreak(rng)) {
            s += '\n';
            continue;
        }
        const int at = pick(rng);
        if (pool[at].isHighSurrogate()) s += pool.mid(at, 2);
        else if (pool[at].isLowSurrogate()) s += 'q';
        else s += pool[at];
    }
    // The reader trims blanks around a value; a stored editor loses its
    // trailing empty lines.
    auto blank = [](QChar c) { return c == ' ' || c == '\t'; };
    while (!s.isEmpty() && (blank(s.front()))) s.remove(0, 1);
    while (!s.isEmpty() && (blank(s.back()) || s.back() == '\n')) s.chop(1);
    return s;
}

TEST(ProjectFileProperty, RandomProjectsRoundTrip) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        ProjectModel m = newTemplateModel();
        for (const ProjectField& f : projectFields()) {
            if (f.number >= 7 && f.number <= 58 && (f.number - 7) % 13 == 8) continue;  // mute: not in files
            if (f.kind == FieldKind::State) {
                m.setState(f.number, std::uniform_int_distribution<int>(f.minimum, f.maximum)(rng));
            } else {
                m.setText(f.number, randomText(rng, 40, f.kind == FieldKind::Lines));
            }
        }
        SCOPED_TRACE(round);
        const QByteArray bytes = projectFileBytes(m);
        ASSERT_EQ(bytes.count('\n'), 39);
        auto [r, back] = loadIntoTemplate(bytes);
        ASSERT_TRUE(r.ok);
        for (const ProjectField& f : projectFields()) {
            EXPECT_EQ(back.text(f.number), m.text(f.number)) << "field " << f.number;
            EXPECT_EQ(back.state(f.number), m.state(f.number)) << "field " << f.number;
        }
        EXPECT_EQ(back, m);
    }
}

// ---------------------------------------------------------------------------
// Built-in blocks.

TEST(BuiltInBlocks, Sizes) {
    const std::pair<BuiltInProject, qsizetype> rows[] = {
        {BuiltInProject::Demo1, 815}, {BuiltInProject::Demo2, 649},       {BuiltInProject::Demo3, 627},
        {BuiltInProject::Demo4, 693}, {BuiltInProject::NewTemplate, 263},
    };
    for (const auto& [which, size] : rows) EXPECT_EQ(builtInBlock(which).size(), size) << static_cast<int>(which);
}

TEST(BuiltInBlocks, NewTemplateHoldsTheNewColumn) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    EXPECT_EQ(m, expectedNewTemplate());
}

TEST(BuiltInBlocks, Demo1RecordsAtTheStart) {
    const QByteArray b = builtInBlock(BuiltInProject::Demo1);
    // Records 1..7: 03 0B, 01 02, then 08 01, 0A 01, 0C 30, 0E 08, 0F 00.
    EXPECT_EQ(b.left(14), QByteArray("\x03\x0B\x01\x02\x08\x01\x0A\x01\x0C\x30\x0E\x08\x0F\x00", 14));
    // Record 8: 11 (control 17), "CH1 Verse(s)" in UTF-16LE, 00 00.
    QByteArray record8("\x11", 1);
    for (char c : std::string("CH1 Verse(s)")) record8 += QByteArray(1, c) + QByteArray(1, '\0');
    record8 += QByteArray(2, '\0');
    EXPECT_EQ(b.mid(14, 27), record8);
    EXPECT_EQ(b.at(41), '\x12');  // record 9: control 18
}

struct DemoValues {
    BuiltInProject which;
    int tempo, measure;
    int channel[4][4];  // waveform, octave, volume, decay
    QString mml[4];     // as stored, ";" between verses
    QString patterns[4];
    QString title;
};

const DemoValues kDemos[] = {
    {BuiltInProject::Demo1, 11, 2, {{1, 1, 48, 8}, {4, 3, 42, 2}, {4, 5, 44, 1}, {0, 4, 40, 0}},
     {"L8 G4B-B-G4B-B-  G4>E-E-<G4>E-E-<  A>CF4<A>CF4<  F4AAGB->D4<",
      "L8 GB->D4<GB->D4<  GB->E-<B-GB->E-<B-  A>CF4<A>CF4<  FA>C<AGB->D4<",
      "L4 GG2G8F8 E-E-2E-8D8 CCCD E-2D2;B-B-2B-8A8 GG2G8F8 CCCD E-2D2;B-B-2B-8A8 GG2G8F8 ACFA G2D2", ""},
     {"1+1+1+1", "1+1+1+1", "1+2+1+3", ""}, "Demo 1"},
    {BuiltInProject::Demo2, 13, 1, {{1, 2, 44, 16}, {4, 3, 40, 2}, {0, 5, 44, 2}, {0, 4, 40, 0}},
     {"l8 v+cv-ceeg4 v+fv-faa>cc< v+cv-ceeg4 v+fv-faa>cc< ggbb>d4< \\8 g4c2 :", "l4 gec f2a8c8 gec f2a8c8 gbd ec2 :",
      "l8 cegceg l4 caf l8 cegceg l4 caf l8 gbdgbd l4 cgg :", ""},
     {"", "", "", ""}, "Demo 2"},
    {BuiltInProject::Demo3, 12, 1, {{4, 3, 40, 2}, {4, 4, 42, 1}, {0, 4, 40, 0}, {0, 4, 40, 0}},
     {"l8 <dced> dcge4 l4 \\1 <d1> r8 l8 \\2 dg l4 \\1 <d1> l8 \\2 dge \\1 <d1> \\2 dcdrr v+ <<dd>> v- r",
      "l8 >dcde< dcde#4 l4 >d1< l8 de l4 >f1 l8 ddfe1< dedfe dd r4", "", ""},
     {"", "", "", ""}, "Demo 3"},
    {BuiltInProject::Demo4, 13, 2, {{4, 2, 40, 3}, {4, 4, 40, 1}, {1, 5, 42, 1}, {3, 5, 37, 10}},
     {"w4 \\3 o2 dd2 w5 \\4 o5 c;w4 \\3 o2 d2 w5 \\4 o5 cd;:", "\\1,9,5,1 l1 gba \\5,9,5 l4 gab2;v40 \\9,1 l1 gba \\2 l4 gab2;:",
      "r1r1;cd>d<e;cd>d2<;:", "l8 d :"},
     {"1+1+1+1+1+1+1+1+2+2+2+2+3", "1+1+2+3", "1+1+1+1+2+2+2+3+4", ""}, "Demo 4"},
};

TEST(BuiltInBlocks, DemoValues) {
    for (const DemoValues& d : kDemos) {
        SCOPED_TRACE(d.title.toStdString());
        ProjectModel m;
        ASSERT_TRUE(loadBuiltIn(d.which, m));
        ProjectModel expected = expectedNewTemplate();  // mute boxes, verse and pattern names
        expected.setState(3, d.tempo);
        expected.setState(1, d.measure);
        for (int c = 1; c <= 4; ++c) {
            const int b = 7 + 13 * (c - 1);
            const int* v = d.channel[c - 1];
            expected.setState(b + 1, v[0]);
            expected.setState(b + 3, v[1]);
            expected.setState(b + 5, v[2]);
            expected.setState(b + 7, v[3]);
            expected.setText(b + 11, QString(d.mml[c - 1]).replace(';', '\n'));
        }
        for (int i = 0; i < 4; ++i) expected.setText(61 + 2 * i, d.patterns[i]);
        // The project info: the title, then a notice line and an author.
        const QStringList info = m.text(69).split('\n');
        ASSERT_EQ(info.size(), 3) << m.text(69).toStdString();
        EXPECT_EQ(info[0], d.title);
        expected.setText(69, m.text(69));
        EXPECT_EQ(m, expected);
    }
    // Demo 1: channel 3 has three verses, and pattern 3 plays them as 1+2+1+3.
    ProjectModel m;
    ASSERT_TRUE(loadBuiltIn(BuiltInProject::Demo1, m));
    EXPECT_EQ(m.text(44).split('\n').size(), 3);
    EXPECT_EQ(m.text(65), "1+2+1+3");
}

// A block written record by record.
class BlockWriter {
public:
    BlockWriter& byte(int control, int value) {
        bytes_ += static_cast<char>(control);
        bytes_ += static_cast<char>(value);
        return *this;
    }
    BlockWriter& string(int control, const QString& text) {
        bytes_ += static_cast<char>(control);
        for (QChar c : text) {
            bytes_ += static_cast<char>(c.unicode() & 0xFF);
            bytes_ += static_cast<char>(c.unicode() >> 8);
        }
        bytes_ += QByteArray(2, '\0');
        return *this;
    }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

// The New template's records with some strings replaced.
QByteArray templateBlockWith(const std::vector<std::pair<int, QString>>& strings, bool swapTempoAndMeasure = false) {
    auto textOf = [&](int control, const QString& normal) {
        for (const auto& [n, t] : strings)
            if (n == control) return t;
        return normal;
    };
    BlockWriter w;
    if (swapTempoAndMeasure) w.byte(1, 0).byte(3, 9);
    else w.byte(3, 12).byte(1, 2);
    for (int c = 1; c <= 4; ++c) {
        const int b = 7 + 13 * (c - 1);
        w.byte(b + 1, 0).byte(b + 3, 4).byte(b + 5, 40).byte(b + 7, 0).byte(b + 8, 0);
        w.string(b + 10, textOf(b + 10, QString("CH%1 Verse(s)").arg(c))).string(b + 11, textOf(b + 11, ""));
    }
    for (int i = 1; i <= 4; ++i) {
        w.string(60 + 2 * (i - 1), textOf(60 + 2 * (i - 1), QString("Channel %1").arg(i)));
        w.string(61 + 2 * (i - 1), textOf(61 + 2 * (i - 1), ""));
    }
    w.string(69, textOf(69, ""));
    return w.bytes();
}

TEST(BuiltInBlocks, HandWrittenTemplateEqualsTheStoredOne) {
    EXPECT_EQ(templateBlockWith({}), builtInBlock(BuiltInProject::NewTemplate));
}

// Pattern name and pattern fields keep ";"; the other strings turn it into
// line breaks.
TEST(BuiltInBlocks, SemicolonsInBlockStrings) {
    ProjectModel m;
    ASSERT_TRUE(loadBlock(templateBlockWith({{17, "x;y"}, {18, "cd;e;"}, {60, "P;Q"}, {61, "1;2"}, {67, "3;4"},
                                             {69, "T;N;A"}}),
                          m));
    EXPECT_EQ(m.text(17), "x\ny");
    EXPECT_EQ(m.text(18), "cd\ne\n");
    EXPECT_EQ(m.text(60), "P;Q");
    EXPECT_EQ(m.text(61), "1;2");
    EXPECT_EQ(m.text(67), "3;4");
    EXPECT_EQ(m.text(69), "T\nN\nA");
}

TEST(BuiltInBlocks, ControlNumberComesFromTheRecord) {
    ProjectModel m = newTemplateModel();
    ASSERT_TRUE(loadBlock(templateBlockWith({}, true), m));
    EXPECT_EQ(m.state(1), 0);
    EXPECT_EQ(m.state(3), 9);
}

TEST(BuiltInBlocks, TruncatedBlocksAreRefusedWithoutCrashing) {
    const QByteArray full = builtInBlock(BuiltInProject::Demo1);
    for (qsizetype n = 0; n < full.size(); ++n) {
        ProjectModel m = newTemplateModel();
        EXPECT_FALSE(loadBlock(full.left(n), m)) << n;
    }
    // A string record whose end is missing, one odd byte short of a unit.
    ProjectModel m = newTemplateModel();
    EXPECT_FALSE(loadBlock(QByteArray("\x03\x0B\x01\x02\x08\x01\x0A\x01\x0C\x30\x0E\x08\x0F\x00\x11\x43", 16), m));
    // The records before the cut are applied.
    ProjectModel cut = newTemplateModel();
    EXPECT_FALSE(loadBlock(full.left(4), cut));
    EXPECT_EQ(cut.state(3), 11);
    EXPECT_EQ(cut.state(1), 2);
    EXPECT_EQ(cut.state(8), 0);
    ProjectModel whole = newTemplateModel();
    EXPECT_TRUE(loadBlock(full, whole));
}

}  // namespace
}  // namespace bleeptone
