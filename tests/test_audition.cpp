// Audition: which note a keystroke or a click names, the text that sounds
// it, and the program sounding it on its channel's voice (offscreen, with
// an output the test renders by hand): only while nothing plays, within
// one tick of the key, for at most a second, and never into a recording.

#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/audition.h"
#include "app/controls.h"
#include "app/song_commands.h"
#include "app/song_view_link.h"
#include "app/window_fields.h"
#include "engine/engine.h"
#include "engine/offline_render.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "tests/hand_output.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"

namespace bleeptone {
namespace {

using testing::runPosted;

TEST(AuditionNotes, TheNoteAKeystrokeEnds) {
    const struct {
        QString line;
        int caret;
        std::optional<int> start;
    } rows[] = {
        {"c", 1, 0},      {"c#", 2, 0},  {"c#8", 3, 0},    {"c#8.", 4, 0}, {"o5 d-16", 7, 3},
        {"cde", 2, 1},    {"c e", 3, 2}, {"c d8 e", 4, 2}, {"c ", 2, {}},  // a blank ends the note
        {"r", 1, {}},     {"r8", 2, {}},                                   // a rest is no note
        {"l8", 2, {}},    {"o5", 2, {}}, {"t120", 4, {}},  {"", 0, {}},    {"c", 0, {}},
        {"c", 2, {}},                     // outside the line
        {"\\1,9", 4, {}}, {"c,", 2, {}},  // a comma belongs to no note
    };
    for (const auto& r : rows)
        EXPECT_EQ(noteEndingAt(r.line, r.caret), r.start) << r.line.toStdString() << " at " << r.caret;
}

// The engine reads a blank within a note away ("c 8").
TEST(AuditionNotes, TheNoteThatStartsAtAColumn) {
    const struct {
        QString line;
        int column;
        std::optional<QString> note;
    } rows[] = {
        {"c", 0, "c"},   {"o5 c#8. d", 3, "c#8."}, {"o5 c#8. d", 8, "d"}, {"c 8 d", 0, "c 8"},
        {"o5 c", 0, {}}, {"o5 c", 1, {}},          {"r8", 0, {}},         {"c", 1, {}},
        {"c", -1, {}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(noteStartingAt(r.line, r.column), r.note) << r.line.toStdString() << " at " << r.column;
}

// What a keyboard's entry at a column sounds: its note, past octave steps.
TEST(AuditionNotes, TheFirstNoteAfterAColumn) {
    const struct {
        QString line;
        int column;
        std::optional<int> note;
    } rows[] = {
        {"c8 d>c<", 4, 5}, {"c8 d>cd<g", 7, 8}, {"c8 d>cd<g", 6, 6}, {"o4 << c", 3, 6},
        {"l8 c", 0, {}},   {"r c", 0, {}},      {"c", 1, {}},        {"c", -1, {}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(noteAfter(r.line, r.column), r.note) << r.line.toStdString() << " at " << r.column;
}

// The settings in force (hand-read from the prefix and the verse), the last
// "\" command as written, and the note, at most 96 ticks long.
TEST(AuditionNotes, TheTextThatSoundsANote) {
    const QString prefix = "T12 W0 O4 \\0 V40 ";
    const struct {
        const char* what;
        QString line;
        int column;
        QString note, text;
    } rows[] = {
        {"the prefix alone", "c", 0, "c", "T12O4K0L4V40W0\\0c"},
        {"settings of the verse before it", "o5 l8 v30 w2 k-2 c d", 19, "d", "T12O5K-2L8V30W2\\0d"},
        {"octave steps", "<< c", 3, "c", "T12O2K0L4V40W0\\0c"},
        {"an envelope stays one", "\\1,9,2 c", 7, "c", "T12O4K0L4V40W0\\1,9,2c"},
        {"the last decay counts", "\\3 c \\5 d", 8, "d", "T12O4K0L4V40W0\\5d"},
        {"a tempo of the verse", "t15 c1", 4, "c1", "T15O4K0L4V40W0\\0c1"},  // 96 ticks: whole
        {"a whole note is too long", "c1", 0, "c1", "T12O4K0L4V40W0\\0c2"},  // 192 ticks: a half, 96
        {"a dotted half too", "c2.", 0, "c2.", "T12O4K0L4V40W0\\0c2"},       // 144 ticks
        {"the accidental stays", "l1 c#", 3, "c#", "T12O4K0L1V40W0\\0c+2"},
        {"a flat", "l1 d-", 3, "d-", "T12O4K0L1V40W0\\0d-2"},
        {"the slowest tempo", "t0 c4", 3, "c4", "T0O4K0L4V40W0\\0c6"},  // 144 ticks; c6: 96
        {"below octave 0", "o0 <<<< c", 8, "c", "T12O0<<<K0L4V40W0\\0c"},
        {"a note given from outside", "o6 c", 4, "e8", "T12O6K0L4V40W0\\0e8"},
        {"no note", "c", 0, "r", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(auditionText(prefix, r.line, r.column, r.note), r.text) << r.what;
}

// ---------------------------------------------------------------------------
// In the program.

class AuditionTest : public testing::ProgramTest {
public:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.forbidden = {"error"};
        QSettings().remove(optionKey());
    }
    void start(bool handOutput = true) {
        Application::Options options = testing::programOptions();
        if (handOutput) options.outputFactory = testing::handOutputs(output);
        startProgram(true, options);
        sounded = std::make_unique<QSignalSpy>(&app->audition(), &Audition::sounded);
    }
    static QString optionKey() { return "hearNotesWhileTyping"; }
    QPlainTextEdit* editor(int c) { return static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(c))); }
    void type(int c, const QString& text) {
        editor(c)->setFocus();
        QTest::keyClicks(editor(c), text);
        runPosted();
    }
    // The text voice k was last given (the whole of it, while no tick has read it).
    QString voiceText(int k) {
        const char16_t* p = app->engine().sequencer().channel(k).CmdPtr;
        return p ? QString::fromUtf16(p) : QString();
    }

    testing::HandOutput* output = nullptr;
    std::unique_ptr<QSignalSpy> sounded;
};

TEST_F(AuditionTest, TypingANoteSoundsItOnItsChannelsVoice) {
    start();
    type(2, "o5 c");
    EXPECT_EQ(sounded->count(), 1);  // "o", "5" and the blank sound nothing
    EXPECT_EQ(voiceText(1), "T12O5K0L4V40W0\\0c");
    // The accidental and the length as they follow.
    for (const auto& [key, text] : {std::pair{"#", "c#"}, {"8", "c#8"}, {".", "c#8."}}) {
        type(2, key);
        EXPECT_EQ(voiceText(1), "T12O5K0L4V40W0\\0" + QString(text));
    }
    EXPECT_EQ(sounded->count(), 4);
    // Another channel's note leaves this one sounding.
    type(4, "e");
    EXPECT_EQ(voiceText(3), "T12O4K0L4V40W0\\0e");
    EXPECT_EQ(voiceText(1), "T12O5K0L4V40W0\\0c#8.");
    EXPECT_EQ(voiceText(0), "");
    // A rest or a command sounds nothing.
    type(1, "r l8 v");
    EXPECT_EQ(sounded->count(), 5);
}

// The output renders 2,048 frames a call, as the silent clocked output does
// when its clock reaches a buffer's first frame; the key comes anywhere in
// the buffer being heard (the output's clock stands at most 2,048 frames
// behind what was rendered) and anywhere on the beat of 459 frames. The
// note's first sample is the first one rendered after the key, so it is
// heard at most one buffer after the key. The whole note lasts 96 ticks.
TEST_F(AuditionTest, TheNoteIsInTheFirstBufferAfterTheKeyAndLastsAtMostASecond) {
    for (const int buffers : {1, 2, 3, 4}) {  // the key at 212, 424, 177 and 389 frames past a tick
        SCOPED_TRACE(buffers);
        start();
        output->render(2048u * buffers, 2048);
        type(1, "c1");  // a whole note at tempo 12: 192 ticks
        ASSERT_EQ(sounded->count(), 2);
        const std::uint64_t key = app->audition().lastKeyFrame();
        EXPECT_EQ(key, 2048u * buffers);
        output->render(2048, 2048);
        PlayheadSnapshot first;
        ASSERT_TRUE(app->engine().playheadAt(key, first));
        EXPECT_EQ(first.song, app->audition().lastSong());
        EXPECT_EQ(first.songFrame, 0u);
        EXPECT_EQ(first.frame, key);  // heard within 2,048 frames of the key, however the beat stood
        // It sounds, and ends after 96 ticks.
        const std::vector<float> heard = output->render(459 * 91);
        EXPECT_NE(*std::max_element(heard.begin(), heard.end()), 0.0f);
        EXPECT_NE(app->engine().sequencer().playingMask(), 0u);
        output->renderTicks(2);
        EXPECT_EQ(app->engine().sequencer().playingMask(), 0u);
    }
}

TEST_F(AuditionTest, ClickingANoteInTheSongViewAndAMidiNote) {
    start();
    controls().setText(control::channelEditor(3), "o3 c d\nv20 e8 f");
    MappedNote clicked;  // as the song view has it
    clicked.kind = NoteKind::Note;
    clicked.place = EditorPlace{3, 2, 4};
    emit app->songView().noteClicked(2, clicked);
    EXPECT_EQ(voiceText(2), "T12O4K0L4V20W0\\0e8");
    clicked.kind = NoteKind::Rest;  // a rest clicked sounds nothing
    emit app->songView().noteClicked(2, clicked);
    EXPECT_EQ(sounded->count(), 1);
    EXPECT_FALSE(app->audition().auditionAt(3, 2, 1));  // "20": no note starts there
    EXPECT_FALSE(app->audition().auditionAt(3, 3, 0));  // no such verse
    EXPECT_FALSE(app->audition().auditionAt(5, 1, 0));
    // A note from outside, at the caret's settings.
    controls().setSelection(control::channelEditor(3), 5, 0);  // after "o3 c "
    EXPECT_TRUE(app->audition().auditionNote(3, "g16"));
    EXPECT_EQ(voiceText(2), "T12O3K0L4V40W0\\0g16");
    EXPECT_FALSE(app->audition().auditionNote(3, "x"));

    // A MIDI keyboard's note, written at the caret with its octave steps.
    editor(2)->setFocus();
    controls().setText(control::channelEditor(2), "c8 d");
    controls().setSelection(control::channelEditor(2), 4, 0);
    submit(AppEvent::midiNote(72, 100));  // C5: ">c<"
    ASSERT_EQ(controls().text(control::channelEditor(2)), "c8 d>c<");
    EXPECT_EQ(voiceText(1), "T12O5K0L4V40W0\\0c");
    submit(AppEvent::midiNote(67, 100));  // G4: "<g", the change back after it cancelled
    ASSERT_EQ(controls().text(control::channelEditor(2)), "c8 d>c<g");
    EXPECT_EQ(voiceText(1), "T12O4K0L4V40W0\\0g");
    EXPECT_EQ(sounded->count(), 4);
}

TEST_F(AuditionTest, NothingSoundsWhileTheSongPlaysOrRecords) {
    start();
    controls().setText(control::channelEditor(1), "c d e f");
    submit(AppEvent::control(control::PlayButton));
    ASSERT_EQ(app->song().playState(), PlayState::Song);
    const QString song = voiceText(0);
    type(2, "c");
    EXPECT_EQ(sounded->count(), 0);
    EXPECT_FALSE(app->audition().auditionAt(1, 1, 0));
    EXPECT_EQ(voiceText(1), app->song().channelTexts()[1]);
    EXPECT_EQ(voiceText(0), song);
    submit(AppEvent::control(control::StopButton));
    type(2, "d");
    EXPECT_EQ(sounded->count(), 1);
    // The audition ends; its end event, delivered once the song has
    // started, does not end the song.
    output->renderTicks(100);
    submit(AppEvent::control(control::PlayButton));
    EngineEvent left;
    EXPECT_FALSE(app->engine().pollEvent(left));
    EXPECT_EQ(app->song().playState(), PlayState::Song);
}

TEST_F(AuditionTest, HearNotesWhileTypingIsRemembered) {
    start();
    QAction* item = window().menuItem(menu::HearNotes);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_TRUE(item->isChecked());  // on at first
    item->trigger();
    type(1, "c");
    submit(AppEvent::midiNote(60, 100));  // a keyboard's note neither
    EXPECT_EQ(controls().text(control::channelEditor(1)), "cc");
    EXPECT_EQ(sounded->count(), 0);
    EXPECT_TRUE(app->audition().auditionAt(1, 1, 0));  // a click still sounds
    start();
    EXPECT_FALSE(window().menuItem(menu::HearNotes)->isChecked());
    type(1, "c");
    EXPECT_EQ(sounded->count(), 0);
    window().menuItem(menu::HearNotes)->trigger();
    type(1, "d");
    EXPECT_EQ(sounded->count(), 1);
}

// Through the sound device's path, inside a PipeWire session
// (tests/pipewire/run.sh): PortAudio plays into ALSA's default device, which
// the session's HOME makes the file plugin in front of PipeWire's null sink
// (which keeps the real pace), writing every sample played (float, mono) to
// the file BLEEPTONE_DEVICE_FILE names. Silence until the key; then the note,
// sample for sample as an engine playing its text from the start renders it.
TEST_F(AuditionTest, ATypedNoteReachesTheSoundDevice) {
    const char* device = std::getenv("BLEEPTONE_DEVICE_FILE");
    if (!device) GTEST_SKIP() << "runs inside a PipeWire session (tests/pipewire/run.sh)";
    const std::string played = device;
    Application::Options options = testing::programOptions();
    options.audio = AudioBackend::PortAudio;
    startProgram(true, options);
    sounded = std::make_unique<QSignalSpy>(&app->audition(), &Audition::sounded);
    ASSERT_TRUE(dialogs.calls.empty()) << "the device opened";
    const auto samples = [&] {
        const testing::Bytes bytes = testing::readBytes(played);
        std::vector<float> out(bytes.size() / sizeof(float));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
        return out;
    };
    const auto firstSound = [](const std::vector<float>& v) {
        return std::find_if(v.begin(), v.end(), [](float x) { return x != 0.0f; }) - v.begin();
    };
    const auto playedFrames = [&] {
        std::error_code error;
        return std::filesystem::file_size(played, error) / sizeof(float);
    };
    ASSERT_TRUE(testing::serveUntil([&] { return playedFrames() >= kSampleRate / 5; }, 20000));
    const std::vector<float> before = samples();
    EXPECT_EQ(firstSound(before), static_cast<std::ptrdiff_t>(before.size()));  // silence

    type(1, "c");
    ASSERT_EQ(sounded->count(), 1);
    const QString text = auditionText(channelPrefix(WindowFields(controls()), 1), "c", 0, "c");
    constexpr std::size_t kCompared = 8192;
    std::vector<float> heard;
    ASSERT_TRUE(testing::serveUntil(
        [&] {
            heard = samples();
            const auto first = static_cast<std::size_t>(firstSound(heard));
            return first < heard.size() && heard.size() - first >= kCompared;
        },
        20000));
    const auto first = firstSound(heard);
    EXPECT_GE(first, static_cast<std::ptrdiff_t>(before.size()));
    std::printf("the note's first sample is %td frames after what the device had been given before the key\n",
                first - static_cast<std::ptrdiff_t>(before.size()));

    OfflineRenderSpec spec;
    spec.texts = {text.toStdU16String()};
    spec.frames = 2 * kCompared;
    struct : RenderSink {
        bool samples(const float* data, std::size_t count) override {
            out.insert(out.end(), data, data + count);
            return true;
        }
        bool event(const EngineEvent&) override { return true; }
        std::vector<float> out;
    } sink;
    renderOffline(spec, sink);
    const auto expectedFirst = firstSound(sink.out);
    ASSERT_LT(expectedFirst, static_cast<std::ptrdiff_t>(kCompared));
    std::size_t differ = 0;
    for (std::size_t i = 0; i < kCompared; ++i)
        differ += heard[static_cast<std::size_t>(first) + i] != sink.out[static_cast<std::size_t>(expectedFirst) + i];
    EXPECT_EQ(differ, 0u) << "of " << kCompared << " samples";
}

// Through the silent clocked output in real time: notes typed while the song
// records are not heard, and the file is the song alone.
TEST_F(AuditionTest, NoAuditionReachesARecording) {
    start(false);
    controls().setState(control::TempoBox, 15);
    controls().setText(control::channelEditor(1), "l16 cdegc");
    dialogs.panelPaths = {QString::fromStdString(path("tune"))};
    submit(AppEvent::menu(menu::RecordToWave));
    runPosted();
    ASSERT_EQ(app->song().playState(), PlayState::Recording);
    type(2, "c d e");
    EXPECT_EQ(sounded->count(), 0);
    ASSERT_TRUE(testing::serveUntil([&] { return app->song().playState() == PlayState::Idle; }));

    OfflineRenderSpec spec;
    for (const QString& t : app->song().channelTexts()) spec.texts.push_back(t.toStdU16String());
    spec.maxFrames = 44100 * 10;
    spec.wavPath = path("offline.wav");
    struct : RenderSink {
        bool samples(const float*, std::size_t) override { return true; }
        bool event(const EngineEvent&) override { return true; }
    } sink;
    ASSERT_TRUE(renderOffline(spec, sink).ended);
    EXPECT_EQ(testing::readBytes(path("tune.wav")), testing::readBytes(spec.wavPath));
}

}  // namespace
}  // namespace bleeptone
