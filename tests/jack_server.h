#pragma once
// A JACK server of the test's own, with the dummy driver (no sound card),
// and a small client that plays keys into a JACK MIDI port, for the tests of
// keyboard entry. Tests skip when the server cannot start; under
// ThreadSanitizer they cannot run (libjack's own threads end inside its ignores).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <RtMidi.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bleeptone::testing {

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

// Serves events until done, at most ms milliseconds; whether it is done.
inline bool waitWithEvents(const std::function<bool()>& done, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// A keyboard on a JACK MIDI port: "bleeptone-test-sender:keys".
class JackKeyboard {
public:
    JackKeyboard() { plugIn(); }
    void plugIn() {
        out_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "bleeptone-test-sender");
        out_->openVirtualPort("keys");
    }
    void unplug() { out_.reset(); }
    void press(int note, int velocity = 100) {
        const std::vector<unsigned char> on = {0x90, static_cast<unsigned char>(note),
                                               static_cast<unsigned char>(velocity)};
        out_->sendMessage(&on);
    }
    static QString key() { return QStringLiteral("JACK:bleeptone-test-sender:keys"); }

private:
    std::unique_ptr<RtMidiOut> out_;
};

// Starts the server for the test and points RtMidi at it; false (with the
// reason) when it cannot.
inline bool useJackServer(JackServer& server, std::string& why) {
#if defined(__SANITIZE_THREAD__)
    why = "JACK's own threads cannot run under ThreadSanitizer";
    return false;
#endif
    // Silence the JACK library while the probe looks for the server.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    if (!server.start()) {
        why = "no JACK server: " + server.why();
        return false;
    }
    qputenv("JACK_DEFAULT_SERVER", server.name().toUtf8());
    qputenv("JACK_NO_START_SERVER", "1");
    return true;
}

}  // namespace bleeptone::testing
