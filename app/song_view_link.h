#pragma once
// The Song View window's side in the program. It opens and closes the window
// (its size kept for the next run), rebuilds the note map and the view a
// moment after the document changes (debounced like live edits: never on the
// keystroke itself), shows the channel editors' caret and selection in it,
// and takes the playhead there from the PlaybackView's timer. The window's
// requests (a click in a lane or on the ruler, a range dragged) go to the
// loop as events; their commands come back here or to the SongCommands.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/app_event.h"
#include "song/tune_checks.h"
#include "ui/song_view.h"

namespace bleeptone {

class MainWindow;
class SongCommands;
struct NowPlaying;
struct PlayOptions;

class SongViewLink : public QObject {
    Q_OBJECT
public:
    // submit: where the window's requests go (the loop, as the user's events).
    SongViewLink(MainWindow& window, SongCommands& song, const PlayOptions& options,
                 std::function<void(const AppEvent&)> submit);
    ~SongViewLink() override;  // keeps the size of a window still open (it opens again next time)

    // Opens (with a fresh map) or closes the window.
    void show(bool shown);
    SongViewWindow* window() const { return view_; }

    // The caret before the note at (channel, verse, column) in its editor,
    // which gets the focus; the main window comes to the front.
    void goTo(int channel, int verse, int column);

    // What is heard, from the playback timer: the song the sample being heard
    // belongs to and its frame in that song; nothing: silence.
    void showHeard(std::optional<std::uint32_t> song, std::uint64_t songFrame);

    // Findings to mark at moments of the lanes (the tune checks'); kept for
    // the window's next opening too.
    void setMarkers(std::vector<SongMarker> markers);
    // The tune checks' findings that play at a moment, as markers.
    void showFindings(const TuneFindings& findings);

    // Builds the map and the view now (a rebuild due is cancelled).
    void rebuild();
    bool rebuildDue() const { return rebuild_.isActive(); }

signals:
    void closed();  // by the user
    // A note or rest clicked in a lane (voice 0..3), as the map has it: for
    // whoever auditions notes. The click also puts the caret before it.
    void noteClicked(int voice, const MappedNote& note);

private:
    void documentChanged();
    void showCaret();
    void showLoopRange();
    std::optional<std::uint64_t> viewFrame(const NowPlaying& now, std::uint64_t songFrame);

    MainWindow& window_;
    SongCommands& song_;
    const PlayOptions& options_;
    std::function<void(const AppEvent&)> submit_;
    QPointer<SongViewWindow> view_;
    QTimer rebuild_;
    std::vector<SongMarker> markers_;
    // The song frame at which the passage that plays starts in the song (cached per song number).
    std::uint32_t passageSong_ = 0;
    std::optional<std::uint64_t> passageStart_;
};

}  // namespace bleeptone
