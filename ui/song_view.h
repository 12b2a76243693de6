#pragma once
// The Song View window: the whole song as notes in time, drawn from the note
// map. Four lanes (channel 1 on top) under a time ruler of measures; each
// note a bar at its pitch, rests as gaps; verse starts, loop points and
// channel ends marked; the playhead, the notes being heard, the note under an
// editor's caret, a selected passage and the loop range drawn over them.
//
// The view knows nothing of the main window. What the user asks of it leaves
// as requests (go to a place, play from a moment, set a loop range); what it
// shows comes in through the setters.

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "song/note_map.h"
#include "song/song_positions.h"

class QLabel;
class QScrollBar;

namespace bleeptone {

// What the view draws.
struct SongViewContent {
    NoteMap map;                      // every channel as if none were muted
    std::array<bool, 4> muted{};      // by voice: its channel's Mute box (drawn dimmed)
    std::uint64_t measureFrames = 0;  // one measure: the Measure setting at the song's tempo (0: no measures)
    int beatsPerMeasure = 4;
    double beatsPerMinute = 0;
    // The length of what plays (muted channels left out): where it ends or
    // first loops as a whole; none when that lies beyond the map.
    std::optional<std::uint64_t> songLength;
};

// A finding to mark at a moment of a lane (the tune checks draw theirs).
struct SongMarker {
    int voice = 0;  // 0..3
    std::uint64_t frame = 0;
    QString message;  // shown as the marker's tool tip
};

// A moment as the view writes it: m:ss.t (tenths rounded to the nearest).
QString songMoment(std::uint64_t frames);
// The song facts of the header: length, tempo, measures, where each channel ends or loops.
QString songFactsText(const SongViewContent& content);

// The drawing and the mouse. Coordinates are the canvas's own.
class SongCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRulerHeight = 24;
    static constexpr double kZoomStep = 1.25;  // one wheel notch or Ctrl+plus
    static constexpr double kMinFramesPerPixel = 16;

    explicit SongCanvas(QWidget* parent = nullptr);

    void setContent(SongViewContent content);
    const SongViewContent& content() const { return content_; }
    // Shows the whole song if it is shorter than a minute, else its first 16 measures.
    void fitOpening();

    // The song frame being heard (none: nothing plays); the notes sounding
    // then in the lanes of `lit` (bit k: voice k) are lit. follow: keep it in view.
    void setPlayhead(std::optional<std::uint64_t> frame, bool follow, std::uint32_t lit = 0xF);
    std::optional<std::uint64_t> playhead() const { return playhead_; }
    // The place of an editor's caret: every time its note plays is
    // highlighted, and the first of them is brought into view.
    void setCaret(std::optional<EditorPlace> place);
    // A passage selected in an editor (its verse, and columns [column,
    // column + length)): a band over each time it plays.
    void setSelection(std::optional<EditorPlace> start, int length);
    void setLoopRange(std::optional<std::pair<std::uint64_t, std::uint64_t>> range);
    void setMarkers(std::vector<SongMarker> markers);
    const std::vector<SongMarker>& markers() const { return markers_; }

    // The caret's notes: (voice, index into its notes); the selection's bands.
    const std::vector<std::pair<int, std::size_t>>& caretNotes() const { return caretNotes_; }
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& selectionBands() const { return bands_; }

    // Zoom and scroll.
    double framesPerPixel() const { return framesPerPixel_; }
    double firstFrame() const { return first_; }
    void setView(double firstFrame, double framesPerPixel);
    void zoomBy(double factor, int anchorX);  // factor > 1 zooms in, around the canvas x anchorX
    void scrollBy(double pixels);
    // Brings a frame into view (a third from the left) unless it is in view already.
    void reveal(std::uint64_t frame);
    // The frames the scroll bar spans, and the visible ones.
    double extentFrames() const;
    double visibleFrames() const { return framesPerPixel_ * width(); }

    // Geometry.
    QRect rulerRect() const { return {0, 0, width(), kRulerHeight}; }
    QRect laneRect(int voice) const;
    int laneAt(int y) const;  // the voice of the lane at y, or -1 (the ruler, outside)
    double xOfFrame(double frame) const { return (frame - first_) / framesPerPixel_; }
    std::uint64_t frameAtX(double x) const;

signals:
    void viewChanged();  // zoom or scroll
    void placeRequested(const EditorPlace& place);
    void playRequested(std::uint64_t frame);
    // A range dragged on the ruler; (0, 0): cleared (a right click on it).
    void loopRangeRequested(std::uint64_t start, std::uint64_t end);
    // A note clicked in a lane (voice, index into its notes).
    void noteClicked(int voice, std::size_t index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;  // tool tips of the markers

private:
    struct Lane {
        int lowest = 60, highest = 72;  // the MIDI notes the lane spans
        // Its notes' indices sorted by (verse, column, start): the caret's lookup.
        std::vector<std::uint32_t> byPlace;
    };
    void paintRuler(class QPainter& p, std::uint64_t from, std::uint64_t to) const;
    void paintLane(class QPainter& p, int voice, std::uint64_t from, std::uint64_t to) const;
    void paintOverlays(class QPainter& p) const;
    QRectF barRect(int voice, const MappedNote& note) const;  // a rest's: a box in the lane's middle
    void findCaretNotes();
    void findBands();
    std::uint64_t snapped(std::uint64_t frame) const;
    void clampView();

    SongViewContent content_;
    std::array<Lane, kVoices> lanes_;
    double first_ = 0;
    double framesPerPixel_ = 1000;
    std::optional<std::uint64_t> playhead_;
    std::uint32_t lit_ = 0xF;
    std::optional<EditorPlace> caret_;
    std::optional<EditorPlace> selectionStart_;
    int selectionLength_ = 0;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> loop_;
    std::vector<SongMarker> markers_;
    std::vector<std::pair<int, std::size_t>> caretNotes_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bands_;
    // A press on the ruler or a lane, and a range being dragged.
    std::optional<QPoint> pressed_;
    bool pressedOnRuler_ = false;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> dragging_;
};

class SongViewWindow : public QWidget {
    Q_OBJECT
public:
    explicit SongViewWindow(QWidget* parent = nullptr);

    SongCanvas* canvas() const { return canvas_; }
    QScrollBar* scrollBar() const { return bar_; }
    QString facts() const;

    // After each rebuild of the map; the first one fits the opening view.
    void setContent(SongViewContent content);

signals:
    void closed();

protected:
    void closeEvent(class QCloseEvent* event) override;

private:
    void syncScrollBar();

    QLabel* header_ = nullptr;
    SongCanvas* canvas_ = nullptr;
    QScrollBar* bar_ = nullptr;
    bool fitted_ = false;
    bool syncing_ = false;
};

}  // namespace bleeptone
