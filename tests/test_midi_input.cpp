// Keyboard entry: what a played note writes at the caret, chords, and the
// whole way in from a JACK MIDI port (a JACK server with its dummy driver,
// started for the test, and a small sending client).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>

#include <RtMidi.h>
#include <jack/jack.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "app/midi_chords.h"
#include "app/midi_entry.h"
#include "app/midi_input.h"
#include "app/midi_note_queue.h"

using namespace bleeptone;

namespace {

const QString kPrefix = QStringLiteral("T12 W0 O4 \\0 V40 ");

TEST(MidiEntry, WritesTheNoteFromTheStateAtTheCaret) {
    const struct {
        int note;
        const char* line;
        int column;
        const char* text;
        int caret;
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
    };
    for (const auto& c : cases) {
        const MidiEntry e = midiEntryAt(c.note, kPrefix, QString::fromUtf8(c.line), c.column);
        EXPECT_EQ(e.text, QString::fromUtf8(c.text)) << c.note << " after '" << c.line << "'";
        EXPECT_EQ(e.caret, c.caret) << c.note << " after '" << c.line << "'";
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

// A JACK server of the test's own, with the dummy driver: no sound card.
// Started with posix_spawn (Qt's QProcess runs a helper thread of its own,
// which ThreadSanitizer cannot follow); its output goes to a file that says
// why when it does not start.
class JackServer {
public:
    bool start() {
        const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
        if (jackd.isEmpty()) return fail("jackd is not installed");
        name_ = QStringLiteral("bleeptone-test-%1").arg(QCoreApplication::applicationPid());
        log_ = QDir::temp().filePath(name_ + ".log").toStdString();
        const std::string program = jackd.toStdString(), name = name_.toStdString();
        // No real-time scheduling (a CI machine grants none), a patient
        // client timeout (a loaded or sanitized build is slow).
        std::vector<std::string> args = {program, "--no-realtime", "-t", "20000", "-n", name,
                                         "-d",    "dummy",         "-r", "44100", "-p", "1024"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = {"JACK_NO_AUDIO_RESERVATION=1"};
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        const int spawned = posix_spawn(&pid_, program.c_str(), &files, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&files);
        if (spawned != 0) {
            pid_ = -1;
            return fail("jackd did not start");
        }
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return fail("jackd ended: " + output());
            }
            jack_status_t jackStatus{};
            jack_client_t* probe = jack_client_open("bleeptone-test-probe",
                                                    static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                                    &jackStatus, name.c_str());
            if (probe) {
                jack_client_close(probe);
                return true;
            }
            QThread::msleep(100);
        }
        return fail("jackd did not answer: " + output());
    }
    ~JackServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            const QDeadlineTimer deadline(5000);
            while (waitpid(pid_, &status, WNOHANG) == 0 && !deadline.hasExpired()) QThread::msleep(20);
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        if (!log_.empty()) std::remove(log_.c_str());
    }
    const QString& name() const { return name_; }
    const std::string& why() const { return why_; }

private:
    std::string output() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool fail(const std::string& why) {
        why_ = why;
        return false;
    }
    pid_t pid_ = -1;
    QString name_;
    std::string log_;
    std::string why_;
};

bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

class MidiInputJack : public ::testing::Test {
protected:
    void SetUp() override {
        // Silence the JACK library while the probe looks for the server.
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
#if defined(__SANITIZE_THREAD__)
        // libjack starts threads of its own, uninstrumented, which end inside
        // ThreadSanitizer's ignores and abort the run; the queue they feed is
        // tested under it above.
        GTEST_SKIP() << "JACK's own threads cannot run under ThreadSanitizer";
#endif
        if (!server_.start()) GTEST_SKIP() << "no JACK server: " << server_.why();
        qputenv("JACK_DEFAULT_SERVER", server_.name().toUtf8());
        qputenv("JACK_NO_START_SERVER", "1");
        sender_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "bleeptone-test-sender");
        sender_->openVirtualPort("keys");
    }
    void TearDown() override {
        sender_.reset();
        qunsetenv("JACK_DEFAULT_SERVER");
    }
    void send(int note, int velocity = 100) {
        const std::vector<unsigned char> on = {0x90, static_cast<unsigned char>(note),
                                               static_cast<unsigned char>(velocity)};
        sender_->sendMessage(&on);
    }
    JackServer server_;
    std::unique_ptr<RtMidiOut> sender_;
    const QString key_ = QStringLiteral("JACK:bleeptone-test-sender:keys");
};

TEST_F(MidiInputJack, NotesArriveFromAJackPortAndAPortThatGoesIsNoCrash) {
    MidiInput input;
    const QList<MidiPort> ports = input.ports();
    ASSERT_TRUE(std::any_of(ports.begin(), ports.end(), [&](const MidiPort& p) { return p.key == key_; }))
        << "the sender's port is listed";
    QSignalSpy played(&input, &MidiInput::notePlayed);
    input.choose(key_);
    ASSERT_TRUE(input.listening());

    send(60, 99);
    ASSERT_TRUE(waitFor([&] { return played.size() == 1; }));
    EXPECT_EQ(played[0][0].toInt(), 60);
    EXPECT_EQ(played[0][1].toInt(), 99);

    // A chord: its top note only.
    send(64);
    send(67);
    send(60);
    ASSERT_TRUE(waitFor([&] { return played.size() == 2; }));
    EXPECT_EQ(played[1][0].toInt(), 67);
    waitFor([&] { return played.size() > 2; }, 300);
    EXPECT_EQ(played.size(), 2);

    // The keyboard is unplugged: the port closes; plugged in again, it opens.
    sender_->closePort();
    sender_.reset();
    ASSERT_TRUE(waitFor([&] { return !input.listening(); }));
    sender_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "bleeptone-test-sender");
    sender_->openVirtualPort("keys");
    ASSERT_TRUE(waitFor([&] { return input.listening(); }));
    send(72);
    ASSERT_TRUE(waitFor([&] { return played.size() == 3; }));
    EXPECT_EQ(played[2][0].toInt(), 72);
    EXPECT_EQ(input.dropped(), 0u);
}

}  // namespace
