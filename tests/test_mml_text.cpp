// The tune as clipboard text: variable names, the text Copy MML writes, how
// Paste MML reads a text back into the New template, and the round trip of
// everything the text carries.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <random>
#include <string>

#include "project/project_blocks.h"
#include "project/project_fields.h"
#include "project/project_model.h"
#include "song/mml_text.h"
#include "tests/demo1_text.h"
#include "tests/qt_printers.h"

namespace bleeptone {

namespace {

constexpr int patternNameField(int slot) { return 60 + 2 * (slot - 1); }
constexpr int patternField(int slot) { return 61 + 2 * (slot - 1); }
constexpr int editorField(int channel) { return control::channelEditor(channel); }
constexpr int verseNameField(int channel) { return control::verseNameField(channel); }

ProjectModel newTemplate() {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    return m;
}

ProjectModel demo(int n) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1), m));
    return m;
}

// What Paste MML makes of a text: the New template, then the text.
ProjectModel pasted(const QString& text, PasteResult expected = PasteResult::Ok) {
    ProjectModel m = newTemplate();
    EXPECT_EQ(pasteMmlText(text, m), expected) << text.left(200).toStdString();
    return m;
}

QString lines(const QStringList& l) { return l.join('\n'); }

// Demo 1 with the project info "Demo 1" and "2015".
using testing::kDemo1Text;

ProjectModel demo1WithInfo() {
    ProjectModel m = demo(1);
    m.setText(control::ProjectInfo, "Demo 1\n2015");
    return m;
}

TEST(VariableNames, DerivedFromTheWindowsNames) {
    const struct {
        QString name, variable;
    } verses[] = {
        {"CH1 Verse(s)", "CH1Verse"},
        {"My_Tune", "MyTune"},
        {"Lead Line", "LeadLine"},
        {"say \"hi\"", "sayhi"},
        {"(_s)", ""},  // "_" becomes a blank and blanks go before "(s)" is removed
        {"", ""},
    };
    for (const auto& v : verses) EXPECT_EQ(verseVariableName(v.name), v.variable) << v.name.toStdString();
    const struct {
        QString name, variable;
    } patterns[] = {{"Channel 1", "Channel_1"}, {"Intro Part", "Intro_Part"}, {"a  b ", "a__b_"}, {"", ""}};
    for (const auto& p : patterns) EXPECT_EQ(patternVariableName(p.name), p.variable) << p.name.toStdString();
}

TEST(CopyMml, Demo1LineByLine) {
    EXPECT_EQ(copyMmlText(demo1WithInfo()).split('\n'), kDemo1Text);
    EXPECT_EQ(copyMmlText(demo1WithInfo()), lines(kDemo1Text));  // no line feed at the end
}

TEST(CopyMml, MutedChannelsAreCopiedLikeAnyOther) {
    ProjectModel m = demo1WithInfo();
    for (int c = 1; c <= 4; ++c) m.setState(control::muteBox(c), 1);
    EXPECT_EQ(copyMmlText(m), lines(kDemo1Text));
}

TEST(CopyMml, AllPatternsEmptyWriteNoPatternLines) {
    ProjectModel m = demo(2);
    m.setText(control::ProjectInfo, "");
    m.setState(control::MeasureBox, 2);  // the measure is not carried: the New template's
    const QString text = copyMmlText(m);
    EXPECT_EQ(text, lines({
                        R"(CH1Verse_1.s = "t13 w1 o2 \16 v44 l8 v+cv-ceeg4 v+fv-faa>cc< v+cv-ceeg4 v+fv-faa>cc< ggbb>d4< \8 g4c2 :")",
                        R"()",
                        R"(CH2Verse_1.s = "t13 w4 o3 \2 v40 l4 gec f2a8c8 gec f2a8c8 gbd ec2 :")",
                        R"()",
                        R"(CH3Verse_1.s = "t13 w0 o5 \2 v44 l8 cegceg l4 caf l8 cegceg l4 caf l8 gbdgbd l4 cgg :")",
                    }));
    // Back again: the pattern fields stay empty.
    const ProjectModel back = pasted(text);
    for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(back.text(patternField(slot)), "") << slot;
    EXPECT_EQ(back, m);
}

TEST(CopyMml, PatternEntries) {
    // Channel 1's verses and pattern; channel 2 holds one verse with the
    // pattern "1" so that pattern lines are written.
    const struct {
        QString verses, pattern;
        QString line;
    } rows[] = {
        {"c\nd", "", "Channel_1.s = CH1Verse_1"},  // empty while another channel has one
        {"c", "3", "Channel_1.s = CH1Verse_1"},    // one verse, one entry: verse 1
        {"c", "2+3", "Channel_1.s = CH1Verse_2 + CH1Verse_3"},
        {"c", "1 + 12", "Channel_1.s = CH1Verse_1 + CH1Verse_12"},
        {"c\nd", "01", "Channel_1.s = CH1Verse_01"},  // the entry's text unchanged
        {"c\nd", "1++2", "Channel_1.s = CH1Verse_1 + CH1Verse_ + CH1Verse_2"},
        {"c\nd", "a", "Channel_1.s = CH1Verse_a"},
    };
    for (const auto& r : rows) {
        ProjectModel m = newTemplate();
        m.setText(editorField(1), r.verses);
        m.setText(patternField(1), r.pattern);
        m.setText(editorField(2), "e");
        m.setText(patternField(2), "1");
        const QStringList text = copyMmlText(m).split('\n');
        ASSERT_GE(text.size(), 2);
        EXPECT_EQ(text[text.size() - 2], r.line) << r.pattern.toStdString();
        EXPECT_EQ(text.last(), "Channel_2.s = CH2Verse_1");
    }
}

TEST(CopyMml, SeveralVersesWithAnEmptyPatternBesideAPattern) {
    ProjectModel m = newTemplate();
    m.setText(editorField(1), "c\nd");
    m.setText(editorField(2), "e");
    m.setText(patternField(2), "1+1");
    EXPECT_EQ(copyMmlText(m), lines({
                                  R"(CH1Verse_1.s = "t12 w0 o4 \0 v40 c")",
                                  R"(CH1Verse_2.s = "d")",
                                  R"()",
                                  R"(CH2Verse_1.s = "t12 w0 o4 \0 v40 e")",
                                  R"()",
                                  R"(Channel_1.s = CH1Verse_1)",
                                  R"(Channel_2.s = CH2Verse_1 + CH2Verse_1)",
                              }));
}

TEST(CopyMml, ProjectsWithoutVerses) {
    ProjectModel m = newTemplate();
    m.setText(patternField(1), "1+2");  // no verses: no pattern lines either
    EXPECT_EQ(copyMmlText(m), "");
    m.setText(control::ProjectInfo, "Title\n\nAuthor");
    const QString text = copyMmlText(m);
    EXPECT_EQ(text, ";[ Title |  | Author ];\n\n");  // the header keeps its line feeds
    // Pasting it reads the project info, then finds no verse.
    const ProjectModel back = pasted(text, PasteResult::NoVerses);
    ProjectModel expected = newTemplate();
    expected.setText(control::ProjectInfo, "Title\n\nAuthor");
    EXPECT_EQ(back, expected);
}

TEST(CopyMml, NoLimitOnTheNumberOfVerses) {
    ProjectModel m = newTemplate();
    QStringList verses;
    for (int v = 1; v <= 300; ++v) verses << QString("r%1").arg(v);
    m.setText(editorField(1), verses.join('\n'));
    m.setText(patternField(1), "300");
    const QStringList text = copyMmlText(m).split('\n');
    ASSERT_EQ(text.size(), 300 + 2);
    EXPECT_EQ(text[0], R"(CH1Verse_1.s = "t12 w0 o4 \0 v40 r1")");
    EXPECT_EQ(text[255], R"(CH1Verse_256.s = "r256")");
    EXPECT_EQ(text[299], R"(CH1Verse_300.s = "r300")");
    EXPECT_EQ(text[300], "");
    EXPECT_EQ(text[301], "Channel_1.s = CH1Verse_300");
    EXPECT_EQ(pasted(text.join('\n')), m);
}

TEST(PasteMml, Demo1) {
    const ProjectModel back = pasted(lines(kDemo1Text));
    EXPECT_EQ(back, demo1WithInfo());
    EXPECT_EQ(back.text(editorField(3)).split('\n').size(), 3);
    EXPECT_EQ(back.text(patternField(3)), "1+2+1+3");
}

TEST(PasteMml, LineEnds) {
    const QString lf = lines(kDemo1Text);
    const ProjectModel expected = pasted(lf);
    EXPECT_EQ(pasted(QString(lf).replace('\n', '\r')), expected);
    EXPECT_EQ(pasted(QString(lf).replace("\n", "\r\n")), expected);
}

TEST(PasteMml, ALoneVerseLine) {
    ProjectModel expected = newTemplate();
    expected.setText(editorField(1), "cde");
    EXPECT_EQ(pasted(R"(CH1Verse_1.s = "cde")"), expected);
}

TEST(PasteMml, SettingsInFrontOfTheFirstVerse) {
    const struct {
        const char* what;
        QString text;
        int tempo, waveform, octave, volume, decay;
        QString editor;
    } rows[] = {
        {"as copied", R"(CH1Verse_1.s = "t9 w2 o6 \5 v20 cde")", 9, 2, 6, 20, 5, "cde"},
        // The number rule: hexadecimal, binary, a sign.
        {"number rule", R"(CH1Verse_1.s = "t$F w%101 o+3 \$20 v63 cde")", 15, 5, 3, 63, 32, "cde"},
        // Only lower-case letters name settings: "T9" is part of the verse.
        {"upper case", R"(CH1Verse_1.s = "T9 cde")", 12, 0, 4, 40, 0, "T9 cde"},
        // A field naming no setting is skipped and not counted, so the verse
        // loses as many characters as the counted fields take ("t9 " here).
        {"uncounted field", R"(CH1Verse_1.s = "L8 t9 cde")", 9, 0, 4, 40, 0, "t9 cde"},
        // Only the first five fields are looked at.
        {"five fields", R"(CH1Verse_1.s = "t1 t2 t3 t4 t5 v9 cde")", 5, 0, 4, 40, 0, "v9 cde"},
    };
    for (const auto& r : rows) {
        const ProjectModel m = pasted(r.text);
        EXPECT_EQ(m.state(control::TempoBox), r.tempo) << r.what;
        EXPECT_EQ(m.state(control::waveformBox(1)), r.waveform) << r.what;
        EXPECT_EQ(m.state(control::octaveBox(1)), r.octave) << r.what;
        EXPECT_EQ(m.state(control::volumeBox(1)), r.volume) << r.what;
        EXPECT_EQ(m.state(control::decayBox(1)), r.decay) << r.what;
        EXPECT_EQ(m.text(editorField(1)), r.editor) << r.what;
    }
    // A tempo in front of another channel's first verse is counted, not applied.
    const ProjectModel m = pasted(lines({R"(CH1Verse_1.s = "t9 w0 o4 \0 v40 c")", "",
                                         R"(CH2Verse_1.s = "t5 w3 o2 \7 v30 e")"}));
    EXPECT_EQ(m.state(control::TempoBox), 9);
    EXPECT_EQ(m.state(control::waveformBox(2)), 3);
    EXPECT_EQ(m.state(control::octaveBox(2)), 2);
    EXPECT_EQ(m.state(control::decayBox(2)), 7);
    EXPECT_EQ(m.state(control::volumeBox(2)), 30);
    EXPECT_EQ(m.text(editorField(2)), "e");
}

TEST(PasteMml, NamesComeBack) {
    ProjectModel m = newTemplate();
    m.setText(verseNameField(1), "Lead Line");
    m.setText(editorField(1), "cde");
    m.setText(patternNameField(1), "Intro Part");
    m.setText(patternField(1), "1");
    m.setText(verseNameField(2), "CH2 Verse(s)");
    m.setText(editorField(2), "e");
    m.setText(patternField(2), "1+1");
    const QString text = copyMmlText(m);
    EXPECT_TRUE(text.contains("\nLeadLine_1.s = ") || text.startsWith("LeadLine_1.s = ")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nIntro_Part.s = LeadLine_1")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nCH2Verse_1.s = ")) << text.toStdString();

    const ProjectModel back = pasted(text);
    EXPECT_EQ(back.text(verseNameField(1)), "LeadLine");
    EXPECT_EQ(back.text(patternNameField(1)), "Intro Part");
    EXPECT_EQ(back.text(verseNameField(2)), "CH2 Verse(s)");  // a default name is not set
    EXPECT_EQ(back.text(patternNameField(2)), "Channel 2");
}

TEST(CopyMml, NamesAreWrittenAsTheyStand) {
    // Percent signs and digits in a name are plain text, not placeholders.
    const struct {
        QString verseName, patternName;
        QString firstLine, patternLine;
    } rows[] = {
        {"Part%1", "Intro", R"(Part%1_1.s = "t12 w0 o4 \0 v40 c")", "Intro.s = Part%1_1 + Part%1_2"},
        {"Mix%0", "Pat%1 %2", R"(Mix%0_1.s = "t12 w0 o4 \0 v40 c")", "Pat%1_%2.s = Mix%0_1 + Mix%0_2"},
        {"100%", "Half %50", R"(100%_1.s = "t12 w0 o4 \0 v40 c")", "Half_%50.s = 100%_1 + 100%_2"},
    };
    for (const auto& r : rows) {
        ProjectModel m = newTemplate();
        m.setText(verseNameField(1), r.verseName);
        m.setText(editorField(1), "c\n%1d");
        m.setText(patternNameField(1), r.patternName);
        m.setText(patternField(1), "1+2");
        const QString text = copyMmlText(m);
        EXPECT_EQ(text, lines({r.firstLine, r.verseName + "_2.s = \"%1d\"", "", r.patternLine}));
        EXPECT_EQ(pasted(text), m) << text.toStdString();
    }
}

TEST(PasteMml, TwelveVersesOfANamedBlock) {
    QStringList text;
    for (int n = 1; n <= 12; ++n)
        text << QString("LeadLine_%1.s = \"%2r%1\"").arg(n).arg(n == 1 ? "t12 w0 o4 \\0 v40 " : "");
    const ProjectModel m = pasted(lines(text));
    EXPECT_EQ(m.text(verseNameField(1)), "LeadLine");
    QStringList expected;
    for (int n = 1; n <= 12; ++n) expected << QString("r%1").arg(n);
    EXPECT_EQ(m.text(editorField(1)), expected.join('\n'));
}

TEST(PasteMml, BlocksGoToChannelsInOrder) {
    // Channel 2 empty when copied: channel 3 comes back in channel 2.
    ProjectModel m = newTemplate();
    m.setText(editorField(1), "c");
    m.setText(patternField(1), "1");
    m.setText(editorField(3), "e\nf");
    m.setState(control::waveformBox(3), 2);
    m.setText(patternField(3), "2+1");
    const ProjectModel back = pasted(copyMmlText(m));
    EXPECT_EQ(back.text(editorField(2)), "e\nf");
    EXPECT_EQ(back.state(control::waveformBox(2)), 2);
    EXPECT_EQ(back.text(patternField(2)), "2+1");
    EXPECT_EQ(back.text(verseNameField(2)), "CH2 Verse(s)");
    EXPECT_EQ(back.text(patternNameField(2)), "Channel 2");
    EXPECT_EQ(back.text(editorField(3)), "");
    EXPECT_EQ(back.text(patternField(3)), "");
}

TEST(PasteMml, PatternLines) {
    const struct {
        QString line;
        QString pattern;
    } rows[] = {
        {"Channel_1.s = CH1Verse_1 + CH1Verse_12", "1+12"},
        {"Channel_1.s = 3 + 4", "3+4"},              // no "_": the whole entry
        {"Channel_1.s =  A_2_b  +B_1", "2_b+1"},      // the text after the first "_"
        {"Channel_1.s = CH1Verse_1 + CH1Verse_ + CH1Verse_2", "1++2"},
        {"  \tChannel_1.s = X_5", "5"},             // leading blanks, then leading tabs dropped
    };
    for (const auto& r : rows) {
        const ProjectModel m = pasted(R"(CH1Verse_1.s = "c")" + QString("\n\n") + r.line);
        EXPECT_EQ(m.text(patternField(1)), r.pattern) << r.line.toStdString();
        EXPECT_EQ(m.text(patternNameField(1)), "Channel 1") << r.line.toStdString();
    }
}

TEST(PasteMml, ProjectInfoHeader) {
    const QString verse = R"(CH1Verse_1.s = "c")";
    {
        const ProjectModel m = pasted(";[ Demo 1 | 2015 ];\n\n" + verse);
        EXPECT_EQ(m.text(control::ProjectInfo), "Demo 1\n2015");
        EXPECT_EQ(m.text(editorField(1)), "c");
    }
    {
        // A line holding " | " comes back as two lines.
        ProjectModel p = newTemplate();
        p.setText(control::ProjectInfo, "a | b\nc");
        p.setText(editorField(1), "c");
        EXPECT_EQ(pasted(copyMmlText(p)).text(control::ProjectInfo), "a\nb\nc");
    }
    {
        // Without the closing marker the header rule does not apply: the
        // first line is no verse and no pattern (skipped), and the empty
        // line after it moves the verse block on to channel 2.
        const ProjectModel m = pasted(";[ Demo 1\n\n" + verse);
        EXPECT_EQ(m.text(control::ProjectInfo), "");
        EXPECT_EQ(m.text(editorField(1)), "");
        EXPECT_EQ(m.text(editorField(2)), "c");
        EXPECT_EQ(m.text(patternNameField(1)), "Channel 1");
    }
    {
        // The closing marker overlapping the opening one encloses nothing:
        // no project info is made up from the rest of the text.
        const ProjectModel m = pasted(";[ ];\n\n" + verse);
        EXPECT_EQ(m.text(control::ProjectInfo), "");
        EXPECT_EQ(m.text(editorField(2)), "c");
    }
}

TEST(PasteMml, NoVerseDeclaration) {
    for (const QString text : {"", "hello", "Channel_1.s = CH1Verse_1", "CH1Verse_1.s = c"}) {
        EXPECT_EQ(pasted(text, PasteResult::NoVerses), newTemplate()) << text.toStdString();
    }
}

TEST(PasteMml, AFifthBlockAndAFifthPatternLineAreIgnored) {
    const QString text = lines({
        R"(CH1Verse_1.s = "t12 w0 o4 \0 v40 a")", "",
        R"(CH2Verse_1.s = "t12 w1 o4 \0 v40 b")", "",
        R"(CH3Verse_1.s = "t12 w2 o4 \0 v40 c")", "",
        R"(Four_1.s = "t12 w3 o4 \0 v40 d")", "",
        R"(Fifth_1.s = "t9 w4 o4 \0 v40 e")", "",
        "Channel_1.s = CH1Verse_1",
        "Channel_2.s = CH2Verse_1",
        "Channel_3.s = CH3Verse_1",
        "Four_Pattern.s = Four_1",
        "Fifth_Pattern.s = Fifth_1 + Fifth_1",
    });
    ProjectModel expected = newTemplate();
    const char* const editors[] = {"a", "b", "c", "d"};
    for (int c = 1; c <= 4; ++c) {
        expected.setText(editorField(c), editors[c - 1]);
        expected.setState(control::waveformBox(c), c - 1);
        expected.setText(patternField(c), "1");
    }
    expected.setText(verseNameField(4), "Four");
    expected.setText(patternNameField(4), "Four Pattern");
    EXPECT_EQ(pasted(text), expected);
}

TEST(PasteMml, LinesWithoutDeclarationsAreSkipped) {
    const QString text = lines({
        R"(CH1Verse_1.s = "t12 w0 o4 \0 v40 c")",
        "a remark between verses",
        R"(CH1Verse_2.s = "d")",
        "",
        "just words",
        "MyPattern.s = CH1Verse_1 + CH1Verse_2",
    });
    ProjectModel expected = newTemplate();
    expected.setText(editorField(1), "c\nd");
    expected.setText(patternNameField(1), "MyPattern");
    expected.setText(patternField(1), "1+2");
    EXPECT_EQ(pasted(text), expected);
}

TEST(PasteMml, TooLongATextIsNotRead) {
    const QString verse = R"(CH1Verse_1.s = "c")";
    QString text = verse + "\n" + QString(kMaxPasteChars - verse.size() - 1, 'x');
    ASSERT_EQ(text.size(), kMaxPasteChars);
    EXPECT_EQ(pasted(text).text(editorField(1)), "c");
    text += 'x';
    EXPECT_EQ(pasted(text, PasteResult::TooLong), newTemplate());
}

// ---------------------------------------------------------------------------
// Copy then paste gives the project back, within what the text carries.

class Random {
public:
    explicit Random(unsigned seed) : rng_(seed) {}
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    QString text(const char* alphabet, int minLength, int maxLength) {
        const QString a = QString::fromUtf8(alphabet);
        QString s;
        for (int n = between(minLength, maxLength); n > 0; --n) s += a[between(0, static_cast<int>(a.size()) - 1)];
        return s;
    }

private:
    std::mt19937 rng_;
};

// MML as typed, with blanks and tabs anywhere, but no line break and no
// double quote (the editors replace it).
const char* const kVerseAlphabet = "cdefgabrCDEFGABR<>0123456789 \t.#+-lovwtkLOVWTK:*\\/,xyz\xC3\xA9";
// Verse and pattern names that the variable-name rules keep as they are.
const char* const kNameAlphabet = "AbcDefXyz0189";
// Project info: no line holds " | ", " ];" or a line feed of its own.
const char* const kInfoAlphabet = "Demo 12015 (c) by someone, with: notes; and \"quotes\" \xC3\xA9";

ProjectModel randomProject(Random& r) {
    ProjectModel m = newTemplate();
    const int channels = r.between(0, 4);  // channels 1 .. channels hold verses
    const bool patterns = channels > 0 && r.chance(60);
    if (channels > 0) m.setState(control::TempoBox, r.between(0, 15));
    for (int c = 1; c <= channels; ++c) {
        m.setState(control::waveformBox(c), r.between(0, c == 1 ? 5 : 4));
        m.setState(control::octaveBox(c), r.between(0, 8));
        m.setState(control::volumeBox(c), r.between(0, 63));
        m.setState(control::decayBox(c), r.between(0, 32));
        const int verseCount = r.between(1, 14);
        QStringList verses;
        for (int v = 0; v < verseCount; ++v) verses << r.text(kVerseAlphabet, 0, 16);
        if (verses.join('\n').isEmpty()) verses[0] = "c";  // an empty editor has no verse
        m.setText(editorField(c), verses.join('\n'));
        if (r.chance(50)) {
            QString name;
            do name = r.text(kNameAlphabet, 0, 8);
            while (name.startsWith("CH"));
            m.setText(verseNameField(c), name);
        }
        if (patterns) {
            QStringList entries;
            for (int e = r.between(1, 6); e > 0; --e)
                entries << (r.chance(10) ? "0" : "") + QString::number(r.between(0, verseCount + 1));
            // A lone entry of a one-verse channel is written as verse 1.
            if (verseCount == 1 && entries.size() == 1) entries = QStringList{"1"};
            m.setText(patternField(c), entries.join('+'));
            if (r.chance(50)) {
                QString name;
                do name = r.text(kNameAlphabet, 0, 5) + (r.chance(50) ? " " + r.text(kNameAlphabet, 0, 5) : "");
                while (name.startsWith(' '));
                m.setText(patternNameField(c), name);
            }
        }
    }
    if (r.chance(60)) {
        QStringList info;
        for (int n = r.between(1, 4); n > 0; --n) info << r.text(kInfoAlphabet, 0, 20);
        m.setText(control::ProjectInfo, info.join('\n'));
    }
    return m;
}

TEST(CopyPaste, RoundTripOfRandomProjects) {
    Random r(20150611);
    for (int i = 0; i < 400; ++i) {
        const ProjectModel project = randomProject(r);
        const QString text = copyMmlText(project);
        const bool anyVerse = !project.text(editorField(1)).isEmpty();
        const ProjectModel back = pasted(text, anyVerse ? PasteResult::Ok : PasteResult::NoVerses);
        ASSERT_EQ(back, project) << "project " << i << ", text:\n" << text.toStdString();
        ASSERT_EQ(copyMmlText(back), text) << i;
    }
}

}  // namespace
}  // namespace bleeptone
