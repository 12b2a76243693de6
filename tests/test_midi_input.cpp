// Keyboard entry: what a played note writes at the caret, chords, and the
// whole way in from a JACK MIDI port (a JACK server with its dummy driver,
// started for the test, and a small sending client).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "app/midi_chords.h"
#include "app/midi_entry.h"
#include "app/midi_input.h"
#include "app/midi_note_queue.h"
#include "tests/jack_server.h"

using namespace bleeptone;
using bleeptone::testing::JackKeyboard;
using bleeptone::testing::JackServer;
using bleeptone::testing::useJackServer;
using bleeptone::testing::waitWithEvents;

namespace {

const QString kPrefix = QStringLiteral("T12 W0 O4 \\0 V40 ");

TEST(MidiEntry, WritesTheNoteFromTheStateAtTheCaret) {
    const struct {
        int note;
        const char* line;
        int column;
        const char* text;
        int caret;
        int eraseAfter = 0;
    } cases[] = {
        {60, "", 0, "c", 1},           // C4 in octave 4
        {72, "", 0, ">c<", 2},         // an octave up, and back after it
        {59, "", 0, "<b>", 2},         // B3
        {61, "", 0, "c#", 2},          // sharps
        {64, "c8d", 3, "e", 1},        // the last note has no length of its own
        {64, "c8d16", 5, "e16", 3},    // the last length written
        {62, "c8.", 3, "d8.", 3},      // with its dot
        {62, "r4 ", 3, "d4", 2},       // a rest's length counts too
        {64, "c8 e", 2, "e8", 2},      // only what stands before the caret
        {60, ">c", 2, "<c>", 2},       // the octave in force at the caret
        {62, "k2c", 3, "c", 1},        // transposed by 2: c sounds D4
        {120, "", 0, ">>>>c<<<<", 5},  // above C8: moved into it, to C8
        {5, "", 0, "<<<<f>>>>", 5},    // below C0: F0
        {48, "o2", 2, ">c<", 2},       // the verse's own octave command
        {67, ">c<", 2, "<g", 2, 1},    // the change back and the next note's cancel: ">c<g"
        {48, ">c<", 2, "<<c>", 3, 1},  // as far as they go: ">c<<c>"
        {74, ">c<", 2, "d", 1},        // the same octave: nothing to cancel
    };
    for (const auto& c : cases) {
        const MidiEntry e = midiEntryAt(c.note, kPrefix, QString::fromUtf8(c.line), c.column);
        EXPECT_EQ(e.text, QString::fromUtf8(c.text)) << c.note << " after '" << c.line << "'";
        EXPECT_EQ(e.caret, c.caret) << c.note << " after '" << c.line << "'";
        EXPECT_EQ(e.eraseAfter, c.eraseAfter) << c.note << " after '" << c.line << "'";
    }
}

TEST(MidiChords, AChordGivesItsTopNote) {
    MidiChords chords;
    EXPECT_FALSE(chords.press(60, 90, 0.0));
    EXPECT_FALSE(chords.press(67, 80, 0.01));
    EXPECT_FALSE(chords.press(64, 70, 0.02));
    EXPECT_FALSE(chords.flush(0.01));  // another key may still join
    const auto top = chords.flush(0.05);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->note, 67);
    EXPECT_EQ(top->velocity, 80);
    EXPECT_FALSE(chords.flush(1.0));

    // A key after the window ends the chord before it.
    EXPECT_FALSE(chords.press(50, 90, 1.0));
    const auto first = chords.press(40, 90, 1.1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->note, 50);
    ASSERT_TRUE(chords.flush(0.05));
}

// The queue between RtMidi's thread and the main thread, with a thread of
// our own as the MIDI thread (ThreadSanitizer follows it): every note-on
// arrives once, in order, with the clock of the messages before it; other
// messages only move the clock; a full queue counts what it drops.
TEST(MidiNoteQueue, CarriesNoteOnsFromTheMidiThread) {
    NoteQueue queue;
    constexpr int kNotes = 2000;
    std::thread midi([&] {
        for (int i = 0; i < kNotes; ++i) {
            queue.message({0x80, 1, 0}, 0.5);  // a note off: the clock moves, nothing is queued
            const std::vector<unsigned char> on = {static_cast<unsigned char>(0x90 | (i % 16)),
                                                   static_cast<unsigned char>(i % 128), 100};
            queue.message(on, 0.5);
        }
    });
    int received = 0;
    double last = 0;  // the i-th note-on comes after 2i + 1 messages of 0.5 s: at i + 1 s
    NoteQueue::Slot slot;
    const auto take = [&] {
        EXPECT_GT(slot.stamp, last);
        EXPECT_EQ(slot.stamp, std::floor(slot.stamp));
        EXPECT_EQ(slot.note, (static_cast<int>(slot.stamp) - 1) % 128);
        last = slot.stamp;
        ++received;
    };
    while (received + static_cast<int>(queue.dropped()) < kNotes) {
        if (queue.pop(slot))
            take();
        else
            std::this_thread::yield();
    }
    midi.join();
    while (queue.pop(slot)) take();
    EXPECT_EQ(received + static_cast<int>(queue.dropped()), kNotes);

    // In order, and stamped: one after the other, without a consumer.
    NoteQueue fresh;
    for (int i = 0; i < 300; ++i) fresh.message({0x90, static_cast<unsigned char>(i % 128), 1}, 1.0);
    for (std::uint32_t i = 0; i < NoteQueue::kSlots; ++i) {
        ASSERT_TRUE(fresh.pop(slot));
        EXPECT_EQ(slot.note, i % 128);
        EXPECT_EQ(slot.stamp, i + 1.0);
    }
    EXPECT_FALSE(fresh.pop(slot));
    EXPECT_EQ(fresh.dropped(), 300u - NoteQueue::kSlots);
}

class MidiInputJack : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!useJackServer(server_, why)) GTEST_SKIP() << why;
        keyboard_ = std::make_unique<JackKeyboard>();
    }
    void TearDown() override {
        keyboard_.reset();
        qunsetenv("JACK_DEFAULT_SERVER");
    }
    JackServer server_;
    std::unique_ptr<JackKeyboard> keyboard_;
};

TEST_F(MidiInputJack, NotesArriveFromAJackPortAndAPortThatGoesIsNoCrash) {
    MidiInput input;
    const QList<MidiPort> ports = input.ports();
    ASSERT_TRUE(std::any_of(ports.begin(), ports.end(), [](const MidiPort& p) { return p.key == JackKeyboard::key(); }))
        << "the sender's port is listed";
    QSignalSpy played(&input, &MidiInput::notePlayed);
    input.choose(JackKeyboard::key());
    ASSERT_TRUE(input.listening());

    keyboard_->press(60, 99);
    ASSERT_TRUE(waitWithEvents([&] { return played.size() == 1; }));
    EXPECT_EQ(played[0][0].toInt(), 60);
    EXPECT_EQ(played[0][1].toInt(), 99);

    // A chord: its top note only.
    keyboard_->press(64);
    keyboard_->press(67);
    keyboard_->press(60);
    ASSERT_TRUE(waitWithEvents([&] { return played.size() == 2; }));
    EXPECT_EQ(played[1][0].toInt(), 67);
    waitWithEvents([&] { return played.size() > 2; }, 300);
    EXPECT_EQ(played.size(), 2);

    // The keyboard is unplugged: the port closes; plugged in again, it opens.
    keyboard_->unplug();
    ASSERT_TRUE(waitWithEvents([&] { return !input.listening(); }));
    keyboard_->plugIn();
    ASSERT_TRUE(waitWithEvents([&] { return input.listening(); }));
    keyboard_->press(72);
    ASSERT_TRUE(waitWithEvents([&] { return played.size() == 3; }));
    EXPECT_EQ(played[2][0].toInt(), 72);
    EXPECT_EQ(input.dropped(), 0u);
}

}  // namespace
