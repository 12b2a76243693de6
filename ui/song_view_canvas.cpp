// The song view's drawing, zoom, scroll and mouse.
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "engine/constants.h"
#include "ui/oscilloscope.h"
#include "ui/song_view.h"

namespace bleeptone {

namespace {

const QColor kBackground(16, 24, 40);
const QColor kRulerBackground(28, 38, 60);
const QColor kGrid(40, 56, 84);
const QColor kBeatGrid(28, 40, 62);
const QColor kLabel(150, 170, 200);
const QColor kPlayhead(255, 255, 255);
const QColor kLoopRange(90, 140, 255);
const QColor kSelectionBand(255, 210, 120);
const QColor kMarker(255, 140, 0);
constexpr int kMinPitchSpan = 8;  // semitones a lane shows at least
constexpr double kOpeningSeconds = 60;
constexpr int kOpeningMeasures = 16;

// The first of `notes` (sorted by start, one after another) still sounding at `frame` or after it.
std::size_t firstNoteFrom(const std::vector<MappedNote>& notes, std::uint64_t frame) {
    auto it = std::upper_bound(notes.begin(), notes.end(), frame,
                               [](std::uint64_t f, const MappedNote& n) { return f < n.start; });
    if (it != notes.begin() && (it - 1)->end() > frame) --it;
    return static_cast<std::size_t>(it - notes.begin());
}

// The order of the caret's lookup: verse, column, then time.
bool placeBefore(const MappedNote& a, const MappedNote& b) {
    if (a.place->verse != b.place->verse) return a.place->verse < b.place->verse;
    if (a.place->column != b.place->column) return a.place->column < b.place->column;
    return a.start < b.start;
}

}  // namespace

SongCanvas::SongCanvas(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(kRulerHeight + 4 * 30);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void SongCanvas::setContent(SongViewContent content) {
    content_ = std::move(content);
    for (int k = 0; k < kVoices; ++k) {
        Lane& lane = lanes_[static_cast<std::size_t>(k)];
        const std::vector<MappedNote>& notes = content_.map.channels[static_cast<std::size_t>(k)].notes;
        int lowest = 1000, highest = -1000;
        lane.byPlace.clear();
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const MappedNote& n = notes[i];
            if (n.kind == NoteKind::Note) {
                lowest = std::min(lowest, n.midiNote());
                highest = std::max(highest, n.midiNote());
            }
            if (n.place) lane.byPlace.push_back(static_cast<std::uint32_t>(i));
        }
        std::sort(lane.byPlace.begin(), lane.byPlace.end(),
                  [&notes](std::uint32_t a, std::uint32_t b) { return placeBefore(notes[a], notes[b]); });
        if (highest < lowest) lowest = 60, highest = 60 + kMinPitchSpan - 1;
        const int missing = kMinPitchSpan - (highest - lowest + 1);
        if (missing > 0) {
            lowest -= missing / 2;
            highest += missing - missing / 2;
        }
        lane.lowest = lowest;
        lane.highest = highest;
    }
    findCaretNotes();
    findBands();
    clampView();
    update();
    emit viewChanged();
}

void SongCanvas::fitOpening() {
    const double length = static_cast<double>(content_.songLength.value_or(content_.map.frames));
    const double w = std::max(1, width());
    if (length < kOpeningSeconds * kSampleRate || content_.measureFrames == 0)
        setView(0, std::max(extentFrames(), 1.0) / w);
    else
        setView(0, static_cast<double>(kOpeningMeasures * content_.measureFrames) / w);
}

double SongCanvas::extentFrames() const {
    // A little past the map's end, so that the last marks are not on the edge.
    return std::max<double>(static_cast<double>(content_.map.frames), kSampleRate) * 1.03;
}

void SongCanvas::clampView() {
    const double w = std::max(1, width());
    const double widest = std::max(kMinFramesPerPixel, extentFrames() / w);
    framesPerPixel_ = std::clamp(framesPerPixel_, kMinFramesPerPixel, widest);
    first_ = std::clamp(first_, 0.0, std::max(0.0, extentFrames() - framesPerPixel_ * w));
}

void SongCanvas::setView(double firstFrame, double framesPerPixel) {
    const double oldFirst = first_, oldScale = framesPerPixel_;
    first_ = firstFrame;
    framesPerPixel_ = framesPerPixel;
    clampView();
    if (first_ == oldFirst && framesPerPixel_ == oldScale) return;
    update();
    emit viewChanged();
}

void SongCanvas::zoomBy(double factor, int anchorX) {
    const double anchor = first_ + anchorX * framesPerPixel_;
    const double scale = framesPerPixel_ / factor;
    setView(anchor - anchorX * scale, scale);
}

void SongCanvas::scrollBy(double pixels) { setView(first_ + pixels * framesPerPixel_, framesPerPixel_); }

void SongCanvas::reveal(std::uint64_t frame) {
    const double x = xOfFrame(static_cast<double>(frame));
    if (x >= 0 && x <= width() * 0.9) return;
    setView(static_cast<double>(frame) - visibleFrames() / 3, framesPerPixel_);
}

std::uint64_t SongCanvas::frameAtX(double x) const {
    const double f = first_ + x * framesPerPixel_;
    return f <= 0 ? 0 : static_cast<std::uint64_t>(std::llround(f));
}

QRect SongCanvas::laneRect(int voice) const {
    const int h = height() - kRulerHeight;
    const int top = kRulerHeight + h * voice / kVoices, bottom = kRulerHeight + h * (voice + 1) / kVoices;
    return {0, top, width(), bottom - top};
}

int SongCanvas::laneAt(int y) const {
    if (y < kRulerHeight || y >= height()) return -1;
    for (int k = 0; k < kVoices; ++k)
        if (laneRect(k).contains(0, y)) return k;
    return -1;
}

void SongCanvas::setPlayhead(std::optional<std::uint64_t> frame, bool follow, std::uint32_t lit) {
    if (frame == playhead_ && lit == lit_) return;
    playhead_ = frame;
    lit_ = lit;
    if (frame && follow) {
        // Page by page, as a score is read: a jump once the playhead nears the right edge.
        const double x = xOfFrame(static_cast<double>(*frame));
        if (x < 0 || x > width() * 0.92) setView(static_cast<double>(*frame) - visibleFrames() * 0.05, framesPerPixel_);
    }
    update();
}

void SongCanvas::setCaret(std::optional<EditorPlace> place) {
    if (place == caret_) return;
    caret_ = place;
    findCaretNotes();
    if (!caretNotes_.empty()) {
        // Into view unless one of its times is in view already.
        bool shown = false;
        for (const auto& [voice, index] : caretNotes_) {
            const MappedNote& n = content_.map.channels[static_cast<std::size_t>(voice)].notes[index];
            const double x = xOfFrame(static_cast<double>(n.start));
            shown = shown || (x >= 0 && x <= width() * 0.9);
        }
        if (!shown) {
            const auto& [voice, index] = caretNotes_.front();
            reveal(content_.map.channels[static_cast<std::size_t>(voice)].notes[index].start);
        }
    }
    update();
}

void SongCanvas::setSelection(std::optional<EditorPlace> start, int length) {
    if (start == selectionStart_ && length == selectionLength_) return;
    selectionStart_ = start;
    selectionLength_ = length;
    findBands();
    update();
}

void SongCanvas::setLoopRange(std::optional<std::pair<std::uint64_t, std::uint64_t>> range) {
    if (range == loop_) return;
    loop_ = range;
    update();
}

void SongCanvas::setMarkers(std::vector<SongMarker> markers) {
    markers_ = std::move(markers);
    update();
}

// Every time the note under the caret plays: the note whose command starts
// at the caret's column or is the last one before it in that verse.
void SongCanvas::findCaretNotes() {
    caretNotes_.clear();
    if (!caret_) return;
    for (int k = 0; k < kVoices; ++k) {
        const MappedChannel& ch = content_.map.channels[static_cast<std::size_t>(k)];
        if (ch.channel != caret_->channel) continue;
        const std::vector<std::uint32_t>& order = lanes_[static_cast<std::size_t>(k)].byPlace;
        const auto key = [&](std::uint32_t i) {
            return std::make_pair(ch.notes[i].place->verse, ch.notes[i].place->column);
        };
        const auto after = std::upper_bound(order.begin(), order.end(), std::make_pair(caret_->verse, caret_->column),
                                            [&](const std::pair<int, int>& v, std::uint32_t i) { return v < key(i); });
        if (after == order.begin() || key(*(after - 1)).first != caret_->verse) continue;
        const auto at = key(*(after - 1));
        for (auto it = std::lower_bound(order.begin(), after, at,
                                        [&](std::uint32_t i, const std::pair<int, int>&v) { return key(i) < v; });
             it != after; ++it)
            caretNotes_.emplace_back(k, *it);
    }
}

// The selected passage's bands: its notes, each run of them one after another in time.
void SongCanvas::findBands() {
    bands_.clear();
    if (!selectionStart_ || selectionLength_ <= 0) return;
    const EditorPlace& s = *selectionStart_;
    for (int k = 0; k < kVoices; ++k) {
        const MappedChannel& ch = content_.map.channels[static_cast<std::size_t>(k)];
        if (ch.channel != s.channel) continue;
        std::vector<std::uint32_t> picked;
        for (const std::uint32_t i : lanes_[static_cast<std::size_t>(k)].byPlace) {
            const EditorPlace& p = *ch.notes[i].place;
            if (p.verse == s.verse && p.column >= s.column && p.column < s.column + selectionLength_)
                picked.push_back(i);
        }
        std::sort(picked.begin(), picked.end());
        for (std::size_t a = 0; a < picked.size();) {
            std::size_t b = a;
            while (b + 1 < picked.size() && picked[b + 1] == picked[b] + 1) ++b;
            bands_.emplace_back(ch.notes[picked[a]].start, ch.notes[picked[b]].end());
            a = b + 1;
        }
    }
    std::sort(bands_.begin(), bands_.end());
}

std::uint64_t SongCanvas::snapped(std::uint64_t frame) const {
    // To the beat where beats are far enough apart to aim at, else to the tick.
    std::uint64_t grid = kTickSamples;
    if (content_.measureFrames > 0 && content_.beatsPerMeasure > 0) {
        const std::uint64_t beat = content_.measureFrames / static_cast<std::uint64_t>(content_.beatsPerMeasure);
        if (static_cast<double>(beat) / framesPerPixel_ >= 8) grid = beat;
    }
    const std::uint64_t snappedFrame = (frame + grid / 2) / grid * grid;
    return std::min<std::uint64_t>(snappedFrame, content_.map.frames);
}

void SongCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    clampView();
    emit viewChanged();
}

void SongCanvas::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (steps == 0) return;
    if (event->modifiers() & Qt::ControlModifier)
        zoomBy(std::pow(kZoomStep, steps / 120.0), static_cast<int>(event->position().x()));
    else
        scrollBy(-steps / 120.0 * width() / 8.0);
    event->accept();
}

void SongCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::RightButton && at.y() < kRulerHeight) {
        emit loopRangeRequested(0, 0);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    pressed_ = at;
    pressedOnRuler_ = at.y() < kRulerHeight;
    dragging_.reset();
}

void SongCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || !pressedOnRuler_) return;
    const double x = event->position().x();
    if (!dragging_ && std::abs(x - pressed_->x()) < 4) return;
    const std::uint64_t a = snapped(frameAtX(pressed_->x())), b = snapped(frameAtX(x));
    dragging_ = std::minmax(a, b);
    update();
}

void SongCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    if (dragging_) mouseMoveEvent(event);  // the range ends where the button is let go
    const QPoint at = *pressed_;
    pressed_.reset();
    if (pressedOnRuler_) {
        const auto range = std::exchange(dragging_, std::nullopt);
        update();
        if (range) {
            if (range->second > range->first) emit loopRangeRequested(range->first, range->second);
            return;
        }
        emit playRequested(frameAtX(at.x()));
        return;
    }
    const int voice = laneAt(at.y());
    if (voice < 0) return;
    const NoteMap& map = content_.map;
    const MappedNote* note = map.noteAt(voice, frameAtX(at.x()));
    if (!note) return;
    const auto index = static_cast<std::size_t>(note - map.channels[static_cast<std::size_t>(voice)].notes.data());
    if (note->place) emit placeRequested(*note->place);
    emit noteClicked(voice, index);
}

bool SongCanvas::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    QStringList found;
    for (const SongMarker& m : markers_) {
        const QRect lane = laneRect(m.voice);
        const double x = xOfFrame(static_cast<double>(m.frame));
        if (std::abs(help->pos().x() - x) <= 5 && lane.contains(lane.x() + 1, help->pos().y())) found << m.message;
    }
    if (found.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), found.join('\n'), this);
    return true;
}

// ---------------------------------------------------------------------------
// Drawing.

void SongCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const std::uint64_t from = frameAtX(0);
    const std::uint64_t to = frameAtX(width() + 1) + 1;
    paintRuler(p, from, to);
    for (int k = 0; k < kVoices; ++k) paintLane(p, k, from, to);
    paintOverlays(p);
}

void SongCanvas::paintRuler(QPainter& p, std::uint64_t from, std::uint64_t to) const {
    const QRect ruler = rulerRect();
    p.fillRect(ruler, kRulerBackground);
    const std::uint64_t measure = content_.measureFrames;
    if (measure == 0) return;
    const double measureWidth = static_cast<double>(measure) / framesPerPixel_;
    // Every measure numbered where they are wide enough, else every 2nd, 4th, ...
    std::uint64_t every = 1;
    while (measureWidth * static_cast<double>(every) < 36) every *= 2;
    const std::uint64_t beats = static_cast<std::uint64_t>(std::max(1, content_.beatsPerMeasure));
    const double beatWidth = measureWidth / static_cast<double>(beats);
    p.setFont(QFont(p.font().family(), 8));
    for (std::uint64_t m = from / measure; m * measure < to; ++m) {
        const double x = xOfFrame(static_cast<double>(m * measure));
        const bool numbered = m % every == 0;
        p.setPen(kGrid);
        for (int k = 0; k < kVoices; ++k) {
            const QRect lane = laneRect(k);
            p.drawLine(QPointF(x, lane.top()), QPointF(x, lane.bottom()));
        }
        p.setPen(kLabel);
        p.drawLine(QPointF(x, numbered ? ruler.top() + 4 : ruler.bottom() - 6), QPointF(x, ruler.bottom()));
        if (numbered)
            p.drawText(QRectF(x + 3, ruler.top(), 60, ruler.height() - 4), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::number(m + 1));
        if (beatWidth >= 6) {
            p.setPen(kBeatGrid);
            for (std::uint64_t b = 1; b < beats; ++b) {
                const double bx = x + beatWidth * static_cast<double>(b);
                p.drawLine(QPointF(bx, ruler.bottom() - 3), QPointF(bx, ruler.bottom()));
            }
        }
    }
}

QRectF SongCanvas::barRect(int voice, const MappedNote& n) const {
    const QRect lane = laneRect(voice);
    const Lane& fit = lanes_[static_cast<std::size_t>(voice)];
    const double row = std::max(4, lane.height() - 8) / static_cast<double>(fit.highest - fit.lowest + 1);
    const double h = std::max(2.0, std::min(row, 10.0));
    const double y = n.kind == NoteKind::Note ? lane.top() + 4 + (fit.highest - n.midiNote()) * row + (row - h) / 2
                                              : lane.center().y() - h / 2;  // a rest: in the middle
    const double x0 = xOfFrame(static_cast<double>(n.start)), x1 = xOfFrame(static_cast<double>(n.end()));
    return {x0, y, std::max(1.0, x1 - x0 - 1), h};
}

void SongCanvas::paintLane(QPainter& p, int voice, std::uint64_t from, std::uint64_t to) const {
    const QRect lane = laneRect(voice);
    const MappedChannel& ch = content_.map.channels[static_cast<std::size_t>(voice)];
    const bool muted = content_.muted[static_cast<std::size_t>(voice)];
    p.setPen(kGrid);
    if (voice > 0) p.drawLine(lane.topLeft(), lane.topRight());
    p.save();
    p.setClipRect(lane.adjusted(0, 1, 0, 0));
    if (muted) p.setOpacity(0.3);

    const QColor colour = traceColour(voice);
    const bool lit = playhead_ && !muted && (lit_ >> voice & 1u) != 0;
    const MappedNote* sounding = lit ? content_.map.noteAt(voice, *playhead_) : nullptr;
    for (std::size_t i = firstNoteFrom(ch.notes, from); i < ch.notes.size() && ch.notes[i].start < to; ++i) {
        const MappedNote& n = ch.notes[i];
        if (n.kind != NoteKind::Note) continue;
        const QRectF bar = barRect(voice, n);
        if (&n == sounding) {
            p.fillRect(bar.adjusted(-1, -1, 1, 1), kPlayhead);
            p.fillRect(bar, colour.lighter(150));
        } else if (n.peakLevel == 0) {  // a note that stays silent (volume 0)
            p.setPen(colour.darker(150));
            p.drawRect(bar);
        } else {
            p.fillRect(bar, colour);
        }
    }

    // Verse starts, the loop point and the end.
    p.setFont(QFont(p.font().family(), 7));
    double lastLabel = -1e9, lastLine = -1e9;
    for (const VerseStart& v : ch.verses) {
        if (v.frame < from || v.frame >= to) continue;
        const double x = xOfFrame(static_cast<double>(v.frame));
        // A channel that loops on its own enters its verses again pass after
        // pass: those starts are shown only where there is room for them.
        if (v.pass > 1 && x - lastLine < 40) continue;
        lastLine = x;
        p.setPen(QPen(kLabel, 1, Qt::DotLine));
        p.drawLine(QPointF(x, lane.top()), QPointF(x, lane.bottom()));
        if (x - lastLabel < 16) continue;
        lastLabel = x;
        p.setPen(kLabel);
        p.drawText(QRectF(x + 2, lane.top() + 1, 40, 12), Qt::AlignLeft | Qt::AlignTop, QString::number(v.verse));
    }
    const auto mark = [&](std::optional<std::uint64_t> frame, const QString& label, Qt::PenStyle style) {
        if (!frame || *frame < from || *frame >= to) return;
        const double x = xOfFrame(static_cast<double>(*frame));
        p.setPen(QPen(colour, 2, style));
        p.drawLine(QPointF(x, lane.top()), QPointF(x, lane.bottom()));
        p.drawText(QRectF(x + 4, lane.bottom() - 14, 60, 13), Qt::AlignLeft | Qt::AlignBottom, label);
    };
    mark(ch.loopFrame, "loop", Qt::DashLine);
    mark(ch.endFrame, "end", Qt::SolidLine);
    p.restore();

    p.setPen(kLabel);
    p.setFont(QFont(p.font().family(), 9, QFont::Bold));
    p.drawText(QRectF(lane.right() - 90, lane.top() + 2, 84, 16), Qt::AlignRight | Qt::AlignTop,
               muted ? QString("%1 muted").arg(voice + 1) : QString::number(voice + 1));
}

void SongCanvas::paintOverlays(QPainter& p) const {
    const QRect ruler = rulerRect();
    const QRect lanes(0, kRulerHeight, width(), height() - kRulerHeight);
    const auto span = [&](std::uint64_t a, std::uint64_t b) {
        const double x0 = xOfFrame(static_cast<double>(a)), x1 = xOfFrame(static_cast<double>(b));
        return std::make_pair(x0, std::max(x1, x0 + 1));
    };
    // The loop range (and one being dragged).
    for (const auto& range : {loop_, dragging_}) {
        if (!range) continue;
        const auto [x0, x1] = span(range->first, range->second);
        QColor fill = kLoopRange;
        fill.setAlpha(150);
        p.fillRect(QRectF(x0, ruler.top(), x1 - x0, ruler.height()), fill);
        fill.setAlpha(30);
        p.fillRect(QRectF(x0, lanes.top(), x1 - x0, lanes.height()), fill);
        p.setPen(kLoopRange);
        p.drawLine(QPointF(x0, 0), QPointF(x0, height()));
        p.drawLine(QPointF(x1, 0), QPointF(x1, height()));
    }
    // The selected passage, each time it plays: over its lane, and a strip on the ruler.
    if (selectionStart_) {
        QColor fill = kSelectionBand;
        for (const auto& [a, b] : bands_) {
            const auto [x0, x1] = span(a, b);
            for (int k = 0; k < kVoices; ++k) {
                if (content_.map.channels[static_cast<std::size_t>(k)].channel != selectionStart_->channel) continue;
                const QRect lane = laneRect(k);
                fill.setAlpha(55);
                p.fillRect(QRectF(x0, lane.top() + 1, x1 - x0, lane.height() - 1), fill);
            }
            fill.setAlpha(200);
            p.fillRect(QRectF(x0, ruler.bottom() - 3, x1 - x0, 4), fill);
        }
    }
    // The note under the caret, each time it plays (a rest as a hollow box).
    p.setPen(QPen(kPlayhead, 2));
    p.setBrush(Qt::NoBrush);
    for (const auto& [voice, index] : caretNotes_) {
        const MappedNote& n = content_.map.channels[static_cast<std::size_t>(voice)].notes[index];
        p.drawRect(barRect(voice, n).adjusted(-2, -2, 2, 2));
    }
    // Findings.
    p.setPen(Qt::NoPen);
    p.setBrush(kMarker);
    for (const SongMarker& m : markers_) {
        if (m.voice < 0 || m.voice >= kVoices) continue;
        const double x = xOfFrame(static_cast<double>(m.frame));
        if (x < -6 || x > width() + 6) continue;
        const QRect lane = laneRect(m.voice);
        const QPointF tip(x, lane.top() + 9);
        const QPointF triangle[3] = {tip, QPointF(x - 5, lane.top() + 1), QPointF(x + 5, lane.top() + 1)};
        p.drawPolygon(triangle, 3);
    }
    p.setBrush(Qt::NoBrush);
    // The playhead.
    if (playhead_) {
        const double x = xOfFrame(static_cast<double>(*playhead_));
        p.setPen(QPen(kPlayhead, 1.5));
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

}  // namespace bleeptone
