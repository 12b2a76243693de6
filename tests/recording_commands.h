#pragma once
// The loop's commands in the widget tests.
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/dispatcher.h"

namespace bleeptone::testing {

// Every command writes its name (and argument) into the log, unless the test
// gives it something else to do; so does the info-bar step, which marks the
// end of each iteration.
class RecordingCommands : public Commands {
public:
    explicit RecordingCommands(std::vector<std::string>& log) : log_(log) {}
    void about() override { note("about"); }
    void newProject() override { note("new"); }
    void open() override { note("open"); }
    void openPath(const QString& p) override { note("openPath " + p.toStdString()); }
    void save() override { note("save"); }
    void saveAs() override { note("saveAs"); }
    void loadDemo(int d) override { note("demo " + std::to_string(d)); }
    void recordToWave() override { note("recordToWave"); }
    void exportAudio() override { note("exportAudio"); }
    void exportMidi() override { note("exportMidi"); }
    void importMidi() override { note("importMidi"); }
    void chooseMidiInput(int port) override { note("midiInput " + std::to_string(port)); }
    void midiNote(int n, int velocity) override {
        note("midiNote " + std::to_string(n) + " " + std::to_string(velocity));
    }
    void exportWebPage() override { note("exportWebPage"); }
    void openRecent(int i) override { note("openRecent " + std::to_string(i)); }
    void clearRecent() override { note("clearRecent"); }
    void editField(int item) override { note("edit " + std::to_string(item)); }
    void nextProblem() override { note("nextProblem"); }
    void previousProblem() override { note("previousProblem"); }
    void showProblems() override { note("showProblems"); }
    void goToProblem(int i) override { note("goToProblem " + std::to_string(i)); }
    void showOscilloscope(bool shown) override { note(shown ? "scope shown" : "scope hidden"); }
    void showSongView(bool shown) override { note(shown ? "song view shown" : "song view hidden"); }
    void loopPlaybackChanged() override { note("loopPlaybackChanged"); }
    void goToPlace(int c, int v, int col) override {
        note("goTo " + std::to_string(c) + " " + std::to_string(v) + " " + std::to_string(col));
    }
    void playFromMoment(std::uint64_t f) override { note("playFromMoment " + std::to_string(f)); }
    void setLoopRange(std::uint64_t a, std::uint64_t b) override {
        note("loopRange " + std::to_string(a) + " " + std::to_string(b));
    }
    void rememberOption(int item, bool on) override {
        note("option " + std::to_string(item) + (on ? " on" : " off"));
    }
    void play() override { note("play"); }
    void playFromHere() override { note("playFromHere"); }
    void stop() override { note("stop"); }
    void copyMml() override { note("copyMml"); }
    void pasteMml() override { note("pasteMml"); }
    void help() override { note("help"); }
    void psgModule() override { note("psgModule"); }
    void copyModule() override { note("copyModule"); }
    void openUrl(const QString& u) override { note("url " + u.toStdString()); }
    void markEdited(int n) override { note("edited " + std::to_string(n)); }
    void engineEvent(std::int64_t d) override { note("engine " + std::to_string(d)); }
    void infoBarStep(const AppEvent&) override { note("step"); }
    void stopClock() override { note("stopClock"); }
    void resumeClock() override { note("resumeClock"); }
    void closeWindow(int w) override { note("closeWindow " + std::to_string(w)); }
    void recoverWork() override { note("recoverWork"); }
    PlayState playState() const override { return playing; }  // a question, not a command: not logged

    std::map<std::string, std::function<void()>> instead;  // by the name logged
    PlayState playing = PlayState::Idle;

private:
    void note(const std::string& what) {
        if (auto it = instead.find(what); it != instead.end())
            it->second();
        else
            log_.push_back(what);
    }
    std::vector<std::string>& log_;
};

}  // namespace bleeptone::testing
