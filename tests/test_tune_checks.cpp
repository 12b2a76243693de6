// The tune checks, rule by rule: each catches a tune made to have its fault,
// at the right place, with the message counted by hand (a whole note is 192
// ticks of 459 frames at T12, 160 at T13, 128 at T14), and finds nothing in
// well-formed tunes and the demos.

#include <gtest/gtest.h>

#include <QString>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/tune_checks.h"
#include "tests/qt_printers.h"

namespace bleeptone {
namespace {

struct Tune {
    std::array<const char*, 4> editors{"", "", "", ""};
    std::array<const char*, 4> patterns{"", "", "", ""};
    int measure = 2;  // the Measure box's index: "4/4"
    int octave1 = 4;  // channel 1's octave box
};

ProjectModel projectOf(const Tune& t) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    for (int c = 1; c <= 4; ++c) {
        m.setText(control::channelEditor(c), QString::fromUtf8(t.editors[c - 1]));
        m.setText(control::patternField(c), QString::fromUtf8(t.patterns[c - 1]));
    }
    m.setState(control::MeasureBox, t.measure);
    m.setState(control::octaveBox(1), t.octave1);
    return m;
}

// What a test expects of one finding: its place (column from 0) and message.
struct Want {
    int channel, verse, column;
    const char* message;
};

std::string describe(const TuneFinding& f) {
    return std::to_string(f.place.channel) + ":" + std::to_string(f.place.verse) + ":" +
           std::to_string(f.place.column) + " " + f.message.toStdString();
}

std::string describe(const Want& w) {
    return std::to_string(w.channel) + ":" + std::to_string(w.verse) + ":" + std::to_string(w.column) + " " + w.message;
}

// The findings of one rule, as "channel:verse:column message" lines.
std::vector<std::string> ofRule(const TuneFindings& findings, TuneRule rule) {
    std::vector<std::string> lines;
    for (const TuneFinding& f : findings)
        if (f.rule == rule) lines.push_back(describe(f));
    return lines;
}

std::vector<std::string> lines(const std::vector<Want>& wants) {
    std::vector<std::string> out;
    for (const Want& w : wants) out.push_back(describe(w));
    return out;
}

struct Case {
    const char* what;
    Tune tune;
    std::vector<Want> want;
};

void expectRule(TuneRule rule, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const TuneFindings findings = checkTune(projectOf(c.tune));
        EXPECT_EQ(ofRule(findings, rule), lines(c.want)) << c.what;
    }
}

TEST(TuneChecks, VerseLength) {
    expectRule(TuneRule::VerseLength,
               {
                   {"an eighth too long, before the exempt last verse",
                    {{"c4 c4 c4 c4\nc4 c4 c4 c4 c8\nc2"}, {"1+2+3"}},
                    {{1, 2, 12, "verse 2 is 1 measure and 1/8 long (4/4)"}}},
                   {"3/4: a half note is less than a measure",
                    {{"c2.\nc2"}, {"1+2+1"}, 1},
                    {{1, 2, 0, "verse 2 is 1/2 long (3/4)"}}},
                   {"2/4 counts dotted notes: 3/8 + 1/8 + 1/4 is 1 measure and 1/4",
                    {{"c4. c8 c4\nc2"}, {"1+2"}, 0},
                    {{1, 1, 7, "verse 1 is 1 measure and 1/4 long (2/4)"}}},
                   {"the same verse played three times: one finding, the last play exempt",
                    {{"c2"}, {"1+1+1"}},
                    {{1, 1, 0, "verse 1 is 1/2 long (4/4)"}}},
                   {"a looping channel has no exempt last verse",
                    {{"c1\nc4\n:"}, {"1+2+3"}},
                    {{1, 2, 0, "verse 2 is 1/4 long (4/4)"}}},
                   {"a riff of 3/8 does not fill a 4/4 measure evenly",
                    {{"l8 ccc :"}},
                    {{1, 1, 5, "verse 1 is 3/8 long (4/4)"}}},
                   {"a riff of an eighth fills it evenly", {{"l8 c :"}}, {}},
                   {"NoteLen carries into the next verse", {{"l8 c4 c4 c4 c4\nc c c c c c c c"}, {"1+2+1"}}, {}},
                   {"the last verse of an ending channel may end anywhere", {{"c1\nc4"}, {"1+2"}}, {}},
               });
}

TEST(TuneChecks, ChannelEnd) {
    expectRule(TuneRule::ChannelEnd,
               {
                   {"in the middle of the longest's note: 1/2 of it left",
                    {{"c1 c1", "c1 c2"}},
                    {{2, 1, 3, "channel 2 ends 1/2 (1.0 s) before channel 1, the longest"}}},
                   {"two longest channels",
                    {{"c1", "c1", "c2"}},
                    {{3, 1, 0, "channel 3 ends 1/2 (1.0 s) before channels 1 and 2, the longest"}}},
                   // 2 ticks: 918 frames, 20.8 ms; the longest's note has played 158 of its 160 ticks.
                   {"two ticks apart, said in time",
                    {{"t13 l3 ccc ccc", "t13 c1 c1"}},
                    {{1, 1, 13, "channel 1 ends 21 ms before channel 2, the longest"}}},
                   {"a command after the last note ends a tick later, the music does not", {{"c1 v5", "c1"}}, {}},
                   {"a looping channel does not end", {{"c1 :", "c2"}}, {}},
               });
}

TEST(TuneChecks, ChannelLoop) {
    expectRule(TuneRule::ChannelLoop,
               {
                   // 384 and 576 ticks: they meet at 1,152 ticks, 11.99 s.
                   {"2 and 3 measures",
                    {{"c1 c1 :", "c1 c1 c1 :"}},
                    {{1, 1, 6,
                      "channel 1 loops every 2 measures (4.0 s), channel 2 every 3 measures (6.0 s): they "
                      "line up again only after 12.0 s"}}},
                   {"1 measure divides 3: they line up each time the longest loops", {{"c1 :", "c1 c1 c1 :"}}, {}},
                   {"an eighth's riff under 4 measures", {{"c1 c1 c1 c1 :", "l8 c :"}}, {}},
               });
}

TEST(TuneChecks, VerseStart) {
    expectRule(TuneRule::VerseStart,
               {
                   // Channel 1's second verse at tick 192; at T14 an eighth is 16 ticks: 12 eighths, 1 1/2 measures.
                   {"another tempo: on a note of channel 2 in the middle of its measure",
                    {{"c1", "t14 l8 cccccccc cccccccc cccccccc"}, {"1+1"}},
                    {{1, 1, 0, "verse 1 starts 1/2 into measure 2 of channel 2"}}},
                   // l3 at T13: 53 ticks, 159 a verse; channel 2's measure line is at 160.
                   {"alone, a channel is in step with itself", {{"t13 l3 ccc"}, {"1+1+1+1"}}, {}},
                   {"the same with a channel that keeps the measure",
                    {{"t13 l3 ccc", "t13 c1 c1 c1 c1"}, {"1+1+1+1"}},
                    {{1, 1, 7, "verse 1 starts 10 ms (1 tick) before a measure line of channel 2"}}},
                   {"only when every verse fills its measures", {{"c1\nc2", "t14 c1 c1 c1"}, {"1+2+1"}}, {}},
                   {"channels in step", {{"c1\nc2 c2", "l4 cccc cccc cccc"}, {"1+2+1"}}, {}},
               });
}

TEST(TuneChecks, Volume) {
    expectRule(TuneRule::Volume,
               {
                   {"64 and 100",
                    {{"v63 c v64 c v100 c V+ c v c"}},
                    {{1, 1, 6,
                      "\"v64\" sets the volume to 0 (silence), not 64: volumes go up to 63 and the engine "
                      "keeps only the number's low 6 bits"},
                     {1, 1, 12,
                      "\"v100\" sets the volume to 36, not 100: volumes go up to 63 and the engine keeps "
                      "only the number's low 6 bits"}}},
               });
}

TEST(TuneChecks, Tempo) {
    expectRule(TuneRule::Tempo,
               {
                   // T240 is code 15, 240 beats per minute; T16 code 0 (40); T39 code 7 (60 / 0.916 s = 65.5).
                   {"above 240, 16 to 39",
                    {{"t240 c t241 c t15 c t16 c t39 c t40 c"}},
                    {{1, 1, 7,
                      "\"t241\" changes nothing: tempos go up to 240 beats per minute, and it stays at about "
                      "240 beats per minute (tempo code 15)"},
                     {1, 1, 20,
                      "\"t16\" sets about 40 beats per minute (tempo code 0), not 16 beats per minute: below "
                      "40 the engine keeps only the number's low 4 bits"},
                     {1, 1, 26,
                      "\"t39\" sets about 66 beats per minute (tempo code 7), not 39 beats per minute: below "
                      "40 the engine keeps only the number's low 4 bits"}}},
               });
}

TEST(TuneChecks, Waveform) {
    expectRule(TuneRule::Waveform,
               {
                   {"above 5, and noise where there is none",
                    {{"w5 c w6 c w13 c w8 c", "w5 c w13 c w4 c"}},
                    {{1, 1, 5,
                      "\"w6\" plays complex A, as w2 does: waveforms go from 0 to 5 and the voice reads only "
                      "the low 3 bits"},
                     {1, 1, 10,
                      "\"w13\" plays noise a tenth as fast as w5's: waveforms go from 0 to 5 and the voice "
                      "reads only the low 3 bits"},
                     {1, 1, 16,
                      "\"w8\" plays the triangle, as w0 does: waveforms go from 0 to 5 and the voice reads "
                      "only the low 3 bits"},
                     {2, 1, 0, "\"w5\" is noise only on channel 1: channel 2 plays practically the sawtooth"},
                     {2, 1, 5,
                      "\"w13\" plays practically the sawtooth: waveforms go from 0 to 5 and the voice reads "
                      "only the low 3 bits (5, noise only on channel 1)"}}},
               });
}

TEST(TuneChecks, Length) {
    expectRule(TuneRule::Length,
               {
                   // 192 div 65 = 2 ticks (918 frames, 20.8 ms), 2/192 of a whole note; dotted 3 ticks.
                   {"L0, L alone, over 64",
                    {{"l0 c l c c64 c65 c65. l65 c"}},
                    {{1, 1, 0, "\"l0\" changes nothing: notes stay a quarter note (l4)"},
                     {1, 1, 5, "\"l\" changes nothing: notes stay a quarter note (l4)"},
                     {1, 1, 13,
                      "\"c65\" lasts 2 ticks (21 ms) at this tempo, 1/96 of a whole note rather than 1/65: "
                      "the engine plays lengths in whole ticks"},
                     {1, 1, 17,
                      "\"c65.\" lasts 3 ticks (31 ms) at this tempo, 1/64 of a whole note rather than 3/130: "
                      "the engine plays lengths in whole ticks"},
                     {1, 1, 22,
                      "\"l65\": notes last 2 ticks (21 ms) at this tempo, 1/96 of a whole note rather than "
                      "1/65: the engine plays lengths in whole ticks"}}},
               });
}

TEST(TuneChecks, NoteRangeAndTranspose) {
    const std::vector<Case> notes = {
        {"octaves above and below; c- at O0 is B0",
         {{"o9 c o0 c- <c o4 c"}},
         {{1, 1, 3, "\"c\" is silent: it would be C9, above C8, the highest note"},
          {1, 1, 12, "\"c\" is silent: it would be C-1, below C0, the lowest note"}}},
        {"the octave box",
         {{"c b"}, {}, 2, 8},
         {{1, 1, 2, "\"b\" is silent: it would be B8, above C8, the highest note"}}},
        {"pushed out by K",
         {{"k25 c k-25 c k12 o8 c d k0 c k-5 o0 c"}},
         {{1, 1, 20, "\"c\" is silent: the transpose of +12 puts it at C9, above C8, the highest note"},
          {1, 1, 22, "\"d\" is silent: it would be D9, above C8, the highest note"},
          {1, 1, 36, "\"c\" is silent: the transpose of -5 puts it at G-1, below C0, the lowest note"}}},
    };
    expectRule(TuneRule::NoteRange, notes);
    expectRule(TuneRule::Transpose,
               {
                   {notes[2].what,
                    notes[2].tune,
                    {{1, 1, 0, "\"k25\" changes nothing: a transpose goes from -24 to +24, and it stays +0"},
                     {1, 1, 6, "\"k-25\" changes nothing: a transpose goes from -24 to +24, and it stays +0"},
                     {1, 1, 13, "\"k12\" puts a note above C8, where it is silent"},
                     {1, 1, 29, "\"k-5\" puts a note below C0, where it is silent"}}},
               });
}

TEST(TuneChecks, CutNumber) {
    expectRule(TuneRule::CutNumber,
               {
                   {"the examples, and what cuts nothing",
                    {{"c8? C1x6 c8?8 c?8 v10? d4,8? t1 2 c"}},
                    {{1, 1, 0,
                      "\"c8?\" plays the default length, a quarter note, not an eighth: \"?\" cuts the "
                      "number short"},
                     {1, 1, 4,
                      "\"C1x6\" plays a 1/6 note, not a whole note: \"x\" cuts the 1 short and a new number "
                      "starts"},
                     {1, 1, 18, "\"v10?\" is read as v0, not v10: \"?\" cuts the number short"},
                     {1, 1, 23,
                      "\"d4,8?\" plays the default length, a quarter note, not an eighth: \"?\" cuts the "
                      "number short"}}},
                   {"cut to the length written",
                    {{"l8 c8? c4?"}},
                    {{1, 1, 7,
                      "\"c4?\" plays the default length, an eighth, not a quarter note: \"?\" cuts the "
                      "number short"}}},
                   {"the next verse's first character cuts the last number of a verse",
                    {{"c8\n?c4"}, {"1+2"}},
                    {{1, 1, 0,
                      "\"c8\" plays the default length, a quarter note, not an eighth: \"?\" cuts the "
                      "number short"}}},
               });
    // Texts as the engine takes them: ";" and a line break are no blanks.
    const TuneFindings texts = checkTexts({u"C8; C8\nD", u"l2 c4.x"});
    EXPECT_EQ(ofRule(texts, TuneRule::CutNumber),
              (std::vector<std::string>{
                  "1:1:0 \"C8;\" plays the default length, a quarter note, not an eighth: \";\" cuts the number short",
                  "1:1:4 \"C8\\n\" plays the default length, a quarter note, not an eighth: a line break cuts the "
                  "number short",
                  "2:1:3 \"c4.x\" plays the default length, a dotted half note, not a dotted quarter note: \"x\" cuts "
                  "the number short"}));
}

TEST(TuneChecks, Pattern) {
    expectRule(TuneRule::Pattern,
               {
                   {"every kind of entry that names no verse",
                    {{"c1\nc1", "c1", "", "c1"}, {"1+3++a+0+-1+2", "5", "1+2", " 1 + 4 "}},
                    {{1, 0, 2, "pattern entry 2 names verse 3, but channel 1 has 2 verses: it plays nothing"},
                     {1, 0, 4, "pattern entry 3 is empty: it plays nothing"},
                     {1, 0, 5, "pattern entry 4 (\"a\") is no verse number: it plays nothing"},
                     {1, 0, 7, "pattern entry 5 names verse 0: verses count from 1, so it plays nothing"},
                     {1, 0, 9, "pattern entry 6 names verse -1: verses count from 1, so it plays nothing"},
                     {2, 0, 0, "pattern entry 1 names verse 5, but channel 2 has 1 verse: it plays nothing"},
                     {4, 0, 5, "pattern entry 2 names verse 4, but channel 4 has 1 verse: it plays nothing"}}},
               });
}

// Where a finding sits and when it plays, the order of the list, and
// findingAt's reach over the characters it marks.
TEST(TuneChecks, PlacesFramesAndOrder) {
    const TuneFindings f = checkTune(projectOf({{"c4 v100 c4 c2", "w9 c1"}, {"", "1+2"}}));
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].rule, TuneRule::Volume);
    EXPECT_EQ(f[0].place, (EditorPlace{1, 1, 3}));
    EXPECT_EQ(f[0].length, 4);
    EXPECT_EQ(f[0].frame, 48u * 459u);  // read when the first quarter note has run out
    EXPECT_EQ(f[1].rule, TuneRule::Pattern);
    EXPECT_EQ(f[1].place, (EditorPlace{2, 0, 2}));
    EXPECT_EQ(f[1].frame, std::nullopt);
    EXPECT_EQ(f[2].rule, TuneRule::Waveform);
    EXPECT_EQ(f[2].place, (EditorPlace{2, 1, 0}));
    EXPECT_EQ(f[2].frame, 0u);

    EXPECT_EQ(findingAt(f, {1, 1, 2}), nullptr);
    EXPECT_EQ(findingAt(f, {1, 1, 3}), &f[0]);
    EXPECT_EQ(findingAt(f, {1, 1, 6}), &f[0]);
    EXPECT_EQ(findingAt(f, {1, 1, 7}), nullptr);
    EXPECT_EQ(findingAt(f, {2, 0, 2}), &f[1]);
}

TEST(TuneChecks, NothingInWellFormedTunes) {
    const Tune tunes[] = {
        {{"l8 cdefgab>c< c1\nl4 c d e f\n:", "l2 c e g e c e g e c e\n:", "l8 r c r c r c r c :", "c1 c1 c1"},
         {"1+2+1+3", "1+2", "", ""}},
        {{"t14 c2. c4\nc1", "t14 l8 c c c c c c c c c c c c c c c c"}, {"1+2"}},
        {{"c2.\nc4 c4 c4", "c4 c2"}, {"1+2+1", "1+1+1"}, 1},
        {{"v63 w4 o8 c k-12 o9 c k24 o0 c l64 c t240 c t15 c t40 c"}},
    };
    for (const Tune& t : tunes) {
        const TuneFindings f = checkTune(projectOf(t));
        EXPECT_TRUE(f.empty()) << (f.empty() ? "" : describe(f[0])) << " in " << t.editors[0];
    }
}

// Any text at all: digit runs past 64 bits, huge lengths and octaves,
// loops, characters without meaning. The checks end, and every finding has
// a place inside its text.
TEST(TuneChecks, AnyTextEnds) {
    std::mt19937 random(19);
    const std::u16string pieces[] = {u"c", u"d8",   u"r",     u"l",           u"l0", u"l3",   u"L99999999999999999999",
                                     u"o", u"o9",   u"<",     u">",           u"k",  u"k-30", u"v100",
                                     u"t", u"t300", u"w13",   u"c1.",         u"?",  u"x",    u" ",
                                     u":", u",",    u"\\1,9", u"c4294967296", u"\n", u"#",    u"+"};
    for (int i = 0; i < 80; ++i) {
        std::array<std::u16string, 4> texts;
        for (std::u16string& t : texts)
            for (int n = random() % 24; n > 0; --n) t += pieces[random() % std::size(pieces)];
        const TuneFindings f = checkTexts({texts[0], texts[1], texts[2], texts[3]}, 2 + static_cast<int>(random() % 3));
        for (const TuneFinding& x : f) {
            ASSERT_GE(x.place.channel, 1);
            ASSERT_LE(x.place.channel, 4);
            EXPECT_EQ(x.place.verse, 1);
            EXPECT_LE(x.place.column + x.length, static_cast<int>(texts[x.place.channel - 1].size()));
        }
    }
}

TEST(TuneChecks, TheDemosHaveNone) {
    for (int n = 1; n <= 4; ++n) {
        ProjectModel m;
        ASSERT_TRUE(loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1), m));
        const TuneFindings f = checkTune(m);
        EXPECT_TRUE(f.empty()) << "demo " << n << ": " << (f.empty() ? "" : describe(f[0]));
    }
}

}  // namespace
}  // namespace bleeptone
