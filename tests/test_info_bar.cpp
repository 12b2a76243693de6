// The info bar: the number texts, the drawing of the bar (texts, waveform
// icon, measure bar and its squares) read back pixel by pixel, and the bars
// of the whole program offscreen: the state at the caret of the focused
// editor, the bar following the focus, and the image following the editors'
// width.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/info_bar_updater.h"
#include "app/main_window.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/aux_windows.h"
#include "ui/image_view.h"
#include "ui/info_bar.h"

namespace bleeptone {
namespace {

using testing::runPosted;

const QColor kLight = kInfoLightBlue, kDark = kInfoDarkBlue, kDotColour = kInfoDot;

bool is(const QImage& image, int x, int y, const QColor& c) {
    return (image.pixel(x, y) & 0xFFFFFF) == (c.rgb() & 0xFFFFFF);
}

// One character per square of the measure bar (16 places, from W - 206,
// 12 apart), read from the pixels the squares are made of: '.' plain,
// 's' small dot, 'L' large dot, 'h' / 'H' the same with the right half dark
// and the light outline (the caret inside the square), '-' no square (the
// measure bar's dark blue), '?' anything else.
std::string squares(const QImage& image) {
    const int W = image.width();
    std::string out;
    for (int k = 0; k < 16; ++k) {
        const int x = W - 206 + 12 * k;
        auto at = [&](int dx, int y, const QColor& c) { return is(image, x + dx, y, c); };
        if (at(1, 6, kDark) && at(4, 9, kDark) && at(0, 5, kDark)) {
            out += '-';
            continue;
        }
        // Every square: light corners, dark gaps to its right.
        const bool frame = at(0, 5, kLight) && at(9, 14, kLight) && at(0, 14, kLight) && at(10, 10, kDark) &&
                           at(11, 10, kDark);
        const bool half = at(8, 10, kDark) && at(5, 9, kDark) && at(9, 10, kLight) && at(8, 5, kLight) &&
                          at(8, 14, kLight) && at(1, 10, kLight);
        const bool large = at(2, 7, kDotColour) && at(4, 12, kDotColour) && at(1, 6, kLight) && at(1, 13, kLight);
        const bool small = at(3, 8, kDotColour) && at(4, 11, kDotColour) && at(2, 7, kLight) && at(4, 12, kLight);
        char c = '?';
        if (frame && at(4, 9, kLight) && at(8, 10, kLight) && at(2, 7, kLight)) c = '.';
        else if (frame && at(4, 9, kDotColour) && large) c = half ? 'H' : at(7, 12, kDotColour) ? 'L' : '?';
        else if (frame && at(4, 9, kDotColour) && small) c = half ? 'h' : at(6, 11, kDotColour) && at(8, 10, kLight) ? 's' : '?';
        out += c;
    }
    return out;
}

// The columns in [x0, x1) where white text has lightened the background.
std::vector<bool> ink(const QImage& image, int x0, int x1, const QColor& background) {
    std::vector<bool> columns;
    for (int x = x0; x < x1; ++x) {
        bool any = false;
        for (int y = 0; y < image.height(); ++y) any = any || qRed(image.pixel(x, y)) >= background.red() + 80;
        columns.push_back(any);
    }
    return columns;
}

// The same columns for the text alone, drawn at x in the bar's font, on a
// background tall enough that nothing is cut off.
std::vector<bool> textInk(const QString& text, int x, int x0, int x1, const QColor& background) {
    QImage image(x1 + 20, 40, QImage::Format_RGB32);
    image.fill(background);
    QPainter p(&image);
    p.setFont(infoBarFont());
    p.setPen(Qt::white);
    p.drawText(QPoint(x, 26), text);
    p.end();
    return ink(image, x0, x1, background);
}

int advance(const QString& text) { return QFontMetrics(infoBarFont()).horizontalAdvance(text); }

MML_Info info(int evtCnt, int tempo, int octave, int transpose, int noteLen, int volume, int waveform) {
    MML_Info i;
    i.EvtCnt = evtCnt, i.Tempo = tempo, i.Octave = octave, i.Transpose = transpose;
    i.NoteLen = noteLen, i.Volume = volume, i.Waveform = waveform;
    return i;
}

InfoBarContent content(const MML_Info& i, int verse = 1, int channel = 1, int units = 32, int width = 714) {
    InfoBarContent c;
    c.info = i;
    c.verse = verse;
    c.channel = channel;
    c.measureUnits = units;
    c.editorWidth = width;
    return c;
}

// The bar drawn over an image dirtied beforehand, so that anything the
// drawing fails to cover shows.
QImage drawn(const InfoBarContent& c) {
    QImage image = newInfoBarImage(c.editorWidth);
    image.fill(Qt::red);
    drawInfoBar(image, c, waveformStrip(), infoBarFont());
    return image;
}

const MML_Info kNewSettings = info(0, 12, 4, 0, 4, 40, 0);

// ---------------------------------------------------------------------------
// The bar as drawn.

TEST(InfoBarText, NumbersAndTranspose) {
    const struct {
        int n;
        const char* text;
    } two[] = {{0, "00"}, {5, "05"}, {9, "09"}, {10, "10"}, {40, "40"}, {63, "63"}, {123, "123"}};
    for (const auto& r : two) EXPECT_EQ(twoDigits(r.n), r.text) << r.n;

    const struct {
        int t;
        const char* text;
    } transpose[] = {{0, "+00"},  {5, "+05"},  {9, "+09"},  {10, "+10"},  {12, "+12"},  {24, "+24"},
                     {-1, "-01"}, {-5, "-05"}, {-9, "-09"}, {-10, "-10"}, {-12, "-12"}, {-24, "-24"}};
    for (const auto& r : transpose) EXPECT_EQ(transposeText(r.t), r.text) << r.t;
}

TEST(InfoBarDrawing, TextsStandWhereTheLayoutPutsThem) {
    const struct {
        InfoBarContent c;
        QString settings, verse, measure;
    } rows[] = {
        {content(kNewSettings), " T12  O4  K+00  L04  V40  W0", "Verse 01", " 00"},
        {content(info(32 * 3 + 5, 9, 7, -5, 16, 5, 3), 12), " T09  O7  K-05  L16  V05  W3", "Verse 12", " 03"},
        {content(info(24 * 11, 15, 0, 12, 1, 63, 4), 103, 2, 24), " T15  O0  K+12  L01  V63  W4", "Verse 103", " 11"},
        {content(info(16 * 120, 0, 8, -24, 32, 0, 1), 2, 3, 16), " T00  O8  K-24  L32  V00  W1", "Verse 02", " 120"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.settings.toStdString());
        const QImage image = drawn(r.c);
        ASSERT_EQ(image.size(), QSize(714, 20));
        const int W = 714;
        const int iconX = advance(r.settings + " ");
        const int wV = advance(r.verse + "  "), wM = advance(r.measure + " ");
        const int verseX = W - wM - wV - 207, barX = W - wM - 207;
        ASSERT_LT(iconX + 48, verseX) << "the texts overlap the icon";
        const std::vector<bool> settingsInk = ink(image, 0, iconX, kLight);
        ASSERT_GT(std::count(settingsInk.begin(), settingsInk.end(), true), 20) << "no text drawn";
        EXPECT_EQ(settingsInk, textInk(r.settings, 0, 0, iconX, kLight));
        EXPECT_EQ(ink(image, iconX + 48, barX, kLight), textInk(r.verse, verseX, iconX + 48, barX, kLight));
        EXPECT_EQ(ink(image, barX, W - 206, kDark), textInk(r.measure, barX, barX, W - 206, kDark));
        // The measure bar: dark from W - wM - 207 to the right edge, light before it.
        for (int y : {0, 19}) {
            EXPECT_TRUE(is(image, barX, y, kDark)) << y;
            EXPECT_TRUE(is(image, barX - 1, y, kLight)) << y;
            EXPECT_TRUE(is(image, W - 1, y, kDark)) << y;
        }
        for (int x = 0; x < W; ++x)
            for (int y = 0; y < 20; ++y) ASSERT_FALSE(is(image, x, y, Qt::red)) << x << "," << y;
    }
}

TEST(InfoBarDrawing, WaveformIcons) {
    const QImage strip = waveformStrip();
    ASSERT_EQ(strip.size(), QSize(48, 120));
    // Row r of the strip fills the bar from the strip's line 20 r + 1; the
    // bar's last line shows the strip's line 20 r + 20, or nothing past the strip.
    const struct {
        int channel, waveform, row;
    } rows[] = {{1, 0, 0}, {1, 1, 1}, {1, 4, 4}, {1, 5, 5}, {2, 2, 2}, {2, 4, 4}, {2, 5, 6}, {3, 5, 6}, {4, 5, 6}};
    for (const auto& r : rows) {
        SCOPED_TRACE("channel " + std::to_string(r.channel) + " W" + std::to_string(r.waveform));
        MML_Info i = kNewSettings;
        i.Waveform = r.waveform;
        const QImage image = drawn(content(i, 1, r.channel));
        const int x0 = advance(" T12  O4  K+00  L04  V40  W" + QString::number(r.waveform) + " ");
        int mismatches = 0, darkPixels = 0;
        for (int y = 0; y < 20; ++y)
            for (int dx = 0; dx < 48; ++dx) {
                const int stripY = 20 * r.row + 1 + y;
                const QRgb want = stripY < 120 ? strip.pixel(dx, stripY) : kLight.rgb();
                mismatches += (image.pixel(x0 + dx, y) & 0xFFFFFF) != (want & 0xFFFFFF);
                darkPixels += is(image, x0 + dx, y, kDark);
            }
        EXPECT_EQ(mismatches, 0);
        if (r.row == 6) {
            EXPECT_EQ(darkPixels, 0) << "no icon";
        } else {
            EXPECT_GT(darkPixels, 300) << "an icon";
        }
        EXPECT_TRUE(is(image, x0 + 48, 10, kLight));  // nothing right of the icon
    }
}

// A problem at the caret takes the place of the settings and the icon,
// behind a warning sign; a long one ends before the verse; the rest stays.
TEST(InfoBarDrawing, AProblemInPlaceOfTheSettings) {
    const QString verse = "Verse 02", measure = " 00";
    const int W = 714, wV = advance(verse + "  "), wM = advance(measure + " ");
    const int verseX = W - wM - wV - 207, barX = W - wM - 207;
    for (const QString& problem : {QString("\"v100\" sets the volume to 36"), QString(200, 'x')}) {
        SCOPED_TRACE(problem.toStdString());
        InfoBarContent c = content(kNewSettings, 2);
        c.problem = problem;
        const QImage image = drawn(c);
        EXPECT_TRUE(is(image, 5, 4, kInfoWarning));
        EXPECT_TRUE(is(image, 16, 15, kInfoWarning));
        EXPECT_TRUE(is(image, 3, 10, kLight));
        const QString shown =
            QFontMetrics(infoBarFont()).elidedText(problem, Qt::ElideRight, verseX - 24 - advance(" "));
        EXPECT_EQ(ink(image, 20, verseX, kLight), textInk(shown, 24, 20, verseX, kLight));
        EXPECT_EQ(ink(image, verseX, barX, kLight), textInk(verse, verseX, verseX, barX, kLight));
        EXPECT_EQ(squares(image), "................");
    }
}

TEST(InfoBarDrawing, SquaresOfTheMeasure) {
    const struct {
        int evtCnt, units;
        const char* squares;
        const char* measure;
    } rows[] = {
        {0, 32, "................", " 00"},
        {1, 32, "H...............", " 00"},   // a 32nd note into the first square
        {2, 32, "L...............", " 00"},
        {3, 32, "Lh..............", " 00"},   // "c16."
        {4, 32, "Ls..............", " 00"},
        {9, 32, "LsssH...........", " 00"},
        {24, 32, "LsssLsssLsss....", " 00"},  // "l4 cde"
        {31, 32, "LsssLsssLsssLssh", " 00"},
        {32, 32, "................", " 01"},  // "l4 cdef"
        {32 * 7 + 6, 32, "Lss.............", " 07"},
        {24, 24, "............----", " 01"},
        {16, 24, "LsssLsss....----", " 00"},
        {40, 24, "LsssLsss....----", " 01"},
        {8, 16, "Lsss....--------", " 00"},
        {15, 16, "LsssLssh--------", " 00"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("EvtCnt " + std::to_string(r.evtCnt) + " of " + std::to_string(r.units));
        MML_Info i = kNewSettings;
        i.EvtCnt = r.evtCnt;
        const QImage image = drawn(content(i, 1, 1, r.units));
        EXPECT_EQ(squares(image), r.squares);
        const int wM = advance(QString(r.measure) + " ");
        EXPECT_EQ(ink(image, 714 - wM - 207, 714 - 206, kDark), textInk(r.measure, 714 - wM - 207, 714 - wM - 207, 714 - 206, kDark));
    }
    // With 16 squares the last ends 16 pixels from the right edge.
    const QImage full = drawn(content(kNewSettings));
    EXPECT_TRUE(is(full, 714 - 17, 10, kLight));
    EXPECT_TRUE(is(full, 714 - 16, 10, kDark));
    EXPECT_TRUE(is(full, 714 - 207, 10, kDark));
    EXPECT_TRUE(is(full, 714 - 206, 10, kLight));
}

TEST(InfoBarDrawing, TwiceTheDetailAtPixelRatioTwo) {
    // Same layout, every logical pixel two by two: the fills and squares at
    // 2x sampled at every other pixel are the 1x bar's.
    MML_Info i = kNewSettings;
    i.EvtCnt = 9;
    QImage image = newInfoBarImage(714, 2.0);
    image.fill(Qt::red);
    drawInfoBar(image, content(i), waveformStrip(), infoBarFont());
    ASSERT_EQ(image.size(), QSize(1428, 40));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    EXPECT_EQ(image.deviceIndependentSize(), QSizeF(714, 20));
    QImage sampled(714, 20, QImage::Format_RGB32);
    for (int x = 0; x < 714; ++x)
        for (int y = 0; y < 20; ++y) sampled.setPixel(x, y, image.pixel(2 * x, 2 * y));
    EXPECT_EQ(squares(sampled), "LsssH...........");
    for (int x = 0; x < 1428; ++x)
        for (int y = 0; y < 40; ++y) ASSERT_FALSE(is(image, x, y, Qt::red)) << x << "," << y;
    // The text is drawn with twice the detail, not as a scaled 1x picture:
    // some of its edges fall on odd device pixels.
    int oddEdges = 0;
    for (int x = 1; x + 1 < 300; x += 2)
        for (int y = 0; y < 40; ++y) oddEdges += image.pixel(x, y) != image.pixel(x - 1, y);
    EXPECT_GT(oddEdges, 20);
}

// ---------------------------------------------------------------------------
// The bars of the program.

class InfoBarProgram : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.forbidden = {"error"};
        startProgram(true);
    }

    QPlainTextEdit* editor(int channel) {
        return static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(channel)));
    }
    // The picture the bar under channel c's editor shows (null: none).
    QImage bar(int channel) { return static_cast<ImageView*>(controls().widget(control::infoBar(channel)))->image(); }
    void focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == w; }, 10000));
        runPosted();
    }
    // Text and selection put into the focused editor of a channel, then the
    // loop's iteration for the editor getting the focus.
    void show(int channel, const QString& text, int start, int length) {
        const int number = control::channelEditor(channel);
        focus(editor(channel));
        controls().setText(number, text);
        controls().setSelection(number, start, length);
        submit(AppEvent::control(number, ControlEventType::Focus));
    }
    void clickInto(int channel, QPoint at = {3, 5}) {
        QTest::mouseClick(editor(channel)->viewport(), Qt::LeftButton, {}, at);
        runPosted();
    }
    bool resizeClient(int W, int H) {
        QWidget* client = window().clientArea();
        window().resize(W + window().width() - client->width(), H + window().height() - client->height());
        return QTest::qWaitFor([&] { return client->size() == QSize(W, H); }, 10000);
    }
};

TEST_F(InfoBarProgram, StateAtTheCaret) {
    const struct {
        const char* what;
        int channel;
        int measure;  // measure box index: 0 "2/4", 1 "3/4", 2 "4/4"
        QString text;
        int start, length;
        InfoBarContent want;
        const char* squares;
    } rows[] = {
        {"empty editor", 1, 2, "", 0, 0, content(kNewSettings), "................"},
        {"start of a verse", 1, 2, "l8 cdef", 0, 0, content(kNewSettings), "................"},
        {"l4 cdef", 1, 2, "l4 cdef", 7, 0, content(info(32, 12, 4, 0, 4, 40, 0)), "................"},
        {"l4 cde", 1, 2, "l4 cde", 6, 0, content(info(24, 12, 4, 0, 4, 40, 0)), "LsssLsssLsss...."},
        {"c16.", 1, 2, "c16.", 4, 0, content(info(3, 12, 4, 0, 4, 40, 0)), "Lh.............."},
        {"caret inside the verse", 2, 2, "c d e f", 3, 0, content(info(16, 12, 4, 0, 4, 40, 0), 1, 2), "LsssLsss........"},
        {"a selection counts from its start", 4, 2, "cdef", 1, 2, content(info(8, 12, 4, 0, 4, 40, 0), 1, 4), "Lsss............"},
        {"only the caret's line is read", 1, 2, "l8 cdef\ngab", 10, 0, content(info(16, 12, 4, 0, 4, 40, 0), 2),
         "LsssLsss........"},
        {"third verse", 3, 2, "c\nd\nl8 e", 8, 0, content(info(4, 12, 4, 0, 8, 40, 0), 3, 3), "Ls.............."},
        {"settings in the verse", 1, 2, "t9 o6 v20 l16 c >d", 18, 0, content(info(4, 9, 7, 0, 16, 20, 0)),
         "Ls.............."},
        {"k-5", 1, 2, "k-5", 3, 0, content(info(0, 12, 4, -5, 4, 40, 0)), "................"},
        {"k12", 1, 2, "k12", 3, 0, content(info(0, 12, 4, 12, 4, 40, 0)), "................"},
        {"w5 on channel 1", 1, 2, "w5", 2, 0, content(info(0, 12, 4, 0, 4, 40, 5)), "................"},
        {"w5 on channel 2", 2, 2, "w5", 2, 0, content(info(0, 12, 4, 0, 4, 40, 5), 1, 2), "................"},
        {"3/4 after three beats", 4, 1, "l4 cde", 6, 0, content(info(24, 12, 4, 0, 4, 40, 0), 1, 4, 24),
         "............----"},
        {"2/4 after one beat", 1, 0, "l4 c", 4, 0, content(info(8, 12, 4, 0, 4, 40, 0), 1, 1, 16),
         "Lsss....--------"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        controls().setState(control::MeasureBox, r.measure);
        show(r.channel, r.text, r.start, r.length);
        const QImage shown = bar(r.channel);
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(squares(shown), r.squares);
        QImage want = newInfoBarImage(714);
        drawInfoBar(want, r.want, waveformStrip(), infoBarFont());
        EXPECT_TRUE(shown.convertToFormat(QImage::Format_RGB32) == want) << "the bar differs from the expected state";
        for (int c = 1; c <= 4; ++c) {
            if (c != r.channel) {
                EXPECT_TRUE(bar(c).isNull()) << "bar " << c;
            }
        }
    }
}

TEST_F(InfoBarProgram, ChannelSettingsStartTheState) {
    // Channel 3 with its own waveform, octave, volume and decay, and the shared tempo.
    const int b = control::channelBase(3);
    controls().setState(control::TempoBox, 9);
    controls().setState(b + control::WaveformOffset, 2);
    controls().setState(b + control::OctaveOffset, 6);
    controls().setState(b + control::VolumeOffset, 20);
    controls().setState(b + control::DecayOffset, 3);
    show(3, "c", 0, 0);
    QImage want = newInfoBarImage(714);
    drawInfoBar(want, content(info(0, 9, 6, 0, 4, 20, 2), 1, 3), waveformStrip(), infoBarFont());
    EXPECT_TRUE(bar(3).convertToFormat(QImage::Format_RGB32) == want);
}

TEST_F(InfoBarProgram, FollowsTheFocusedEditorAndItsCaret) {
    for (int c = 1; c <= 4; ++c) EXPECT_TRUE(bar(c).isNull()) << "no bar before any editor had the focus";

    // Typing redraws the bar after each key.
    clickInto(1);
    ASSERT_EQ(controls().focused(), 18);
    ASSERT_FALSE(bar(1).isNull());
    QTest::keyClicks(editor(1), "l4 cde");
    runPosted();
    ASSERT_EQ(controls().text(18), "l4 cde");
    EXPECT_EQ(squares(bar(1)), "LsssLsssLsss....");
    QTest::keyClick(editor(1), Qt::Key_Left);
    runPosted();
    EXPECT_EQ(squares(bar(1)), "LsssLsss........");
    // A click at the start of the verse puts the caret there.
    clickInto(1);
    EXPECT_EQ(controls().selection(18), std::make_pair(0, 0));
    EXPECT_EQ(squares(bar(1)), "................");
    QTest::keyClick(editor(1), Qt::Key_End);
    runPosted();
    EXPECT_EQ(squares(bar(1)), "LsssLsssLsss....");

    // Into editor 31: the bar under 18 goes, 18's caret goes back to the start.
    controls().setText(31, "c8 d8");
    clickInto(2);
    EXPECT_EQ(controls().focused(), 31);
    EXPECT_TRUE(bar(1).isNull());
    ASSERT_FALSE(bar(2).isNull());
    EXPECT_EQ(squares(bar(2)), "................");
    EXPECT_EQ(controls().selection(18), std::make_pair(0, 0));
    QTest::keyClick(editor(2), Qt::Key_End);
    runPosted();
    EXPECT_EQ(squares(bar(2)), "Lsss............");

    // While the Play button has the focus the editors keep their carets and no bar shows.
    focus(controls().widget(control::PlayButton));
    submit(AppEvent::engine(7));  // any iteration of the loop
    for (int c = 1; c <= 4; ++c) EXPECT_TRUE(bar(c).isNull()) << "bar " << c;
    EXPECT_EQ(controls().selection(31), std::make_pair(5, 0));

    // Back into 18: 31 loses its caret and its bar.
    clickInto(1);
    EXPECT_EQ(controls().selection(31), std::make_pair(0, 0));
    EXPECT_TRUE(bar(2).isNull());
    EXPECT_FALSE(bar(1).isNull());
}

TEST_F(InfoBarProgram, ImageFollowsTheEditorWidth) {
    const QImage& image = app->infoBarUpdater().image();
    ASSERT_EQ(image.size(), QSize(714, 20));
    EXPECT_TRUE(is(image, 0, 0, kLight) && is(image, 713, 19, kLight) && is(image, 400, 10, kLight));

    // A client 1200 wide: editors 1200 - 290 - 20 = 890 wide.
    ASSERT_TRUE(resizeClient(1200, 710));
    ASSERT_EQ(controls().geometry(18).width(), 890);
    show(1, "l4 cde", 6, 0);
    EXPECT_EQ(app->infoBarUpdater().image().size(), QSize(890, 20));
    const QImage wide = bar(1);
    ASSERT_EQ(wide.size(), QSize(890, 20));
    EXPECT_EQ(squares(wide), "LsssLsssLsss....");
    EXPECT_TRUE(is(wide, 889, 0, kDark));
    EXPECT_TRUE(is(wide, 890 - 16, 10, kDark));
    EXPECT_TRUE(is(wide, 890 - 17, 10, kLight));
    QImage want = newInfoBarImage(890);
    drawInfoBar(want, content(info(24, 12, 4, 0, 4, 40, 0), 1, 1, 32, 890), waveformStrip(), infoBarFont());
    EXPECT_TRUE(wide.convertToFormat(QImage::Format_RGB32) == want);

    // The bar of another channel follows editor 18's width as well.
    show(4, "c", 1, 0);
    EXPECT_EQ(bar(4).size(), QSize(890, 20));
    // And back.
    ASSERT_TRUE(resizeClient(1024, 710));
    show(4, "c", 1, 0);
    EXPECT_EQ(bar(4).size(), QSize(714, 20));
    EXPECT_EQ(squares(bar(4)), "Lsss............");
}

TEST_F(InfoBarProgram, RedrawnAtOnceWhenItsSizeOrTheDocumentChanges) {
    show(1, "l4 cde", 6, 0);
    ASSERT_EQ(squares(bar(1)), "LsssLsssLsss....");

    // A wider window: the bar follows before any key.
    ASSERT_TRUE(resizeClient(1200, 710));
    runPosted();
    ASSERT_EQ(bar(1).size(), QSize(890, 20));
    EXPECT_EQ(squares(bar(1)), "LsssLsssLsss....");
    ASSERT_TRUE(resizeClient(1024, 710));
    runPosted();
    EXPECT_EQ(bar(1).size(), QSize(714, 20));

    // A demo or New replaces the document under the caret: the bar shows
    // the new one's state there, as a fresh focus would draw it.
    for (int item : {menu::Demo1, menu::New}) {
        SCOPED_TRACE(item);
        controls().setText(18, "t9 o6 l16 cdefg");
        controls().setSelection(18, 15, 0);
        submit(AppEvent::control(18, ControlEventType::Focus));
        const QImage before = bar(1);
        submit(AppEvent::menu(item));
        runPosted();
        ASSERT_EQ(controls().focused(), 18);
        const QImage after = bar(1);
        EXPECT_FALSE(after == before);
        submit(AppEvent::control(18, ControlEventType::Focus));
        EXPECT_TRUE(bar(1) == after);
    }
}

}  // namespace
}  // namespace bleeptone
