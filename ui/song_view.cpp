#include "ui/song_view.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "engine/constants.h"

namespace bleeptone {

QString songMoment(std::uint64_t frames) {
    const std::uint64_t tenths = (frames * 10 + kSampleRate / 2) / kSampleRate;
    return QString("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QChar('0')).arg(tenths % 10);
}

QString songFactsText(const SongViewContent& content) {
    const NoteMap& map = content.map;
    QStringList song;
    // The length: where what plays ends or first loops as a whole; failing
    // that (channels that loop apart), the longest channel's first pass.
    std::optional<std::uint64_t> length = content.songLength;
    bool longer = false;
    if (!length) {
        std::uint64_t longest = 0;
        bool any = false;
        for (int k = 0; k < kVoices; ++k) {
            const MappedChannel& ch = map.channels[static_cast<std::size_t>(k)];
            if (content.muted[static_cast<std::size_t>(k)] || !ch.hasText) continue;
            const auto pass = ch.loopFrame ? ch.loopFrame : ch.endFrame;
            any = true;
            if (pass)
                longest = std::max(longest, *pass);
            else
                longer = true;
        }
        if (any) length = longer ? map.frames : longest;
    }
    if (!length || *length == 0)
        song << "Nothing plays";
    else
        song << (longer ? "Over " : "") + songMoment(*length) + " long";
    if (content.beatsPerMinute > 0) song << QString("%1 BPM").arg(content.beatsPerMinute, 0, 'f', 1);
    if (length && *length > 0 && content.measureFrames > 0) {
        const std::uint64_t measures = (*length + content.measureFrames - 1) / content.measureFrames;
        song << QString("%1 %2 of %3/4")
                    .arg(measures)
                    .arg(measures == 1 ? "measure" : "measures")
                    .arg(content.beatsPerMeasure);
    }
    QStringList channels;
    for (int k = 0; k < kVoices; ++k) {
        const MappedChannel& ch = map.channels[static_cast<std::size_t>(k)];
        QString fact;
        if (!ch.hasText)
            fact = "has no verses";
        else if (ch.loopFrame)
            fact = "loops at " + songMoment(*ch.loopFrame);
        else if (ch.endFrame)
            fact = "ends at " + songMoment(*ch.endFrame);
        else
            fact = "plays past " + songMoment(map.frames);
        if (content.muted[static_cast<std::size_t>(k)]) fact += " (muted)";
        channels << QString("%1 %2").arg(k + 1).arg(fact);
    }
    return song.join(", ") + "\nChannel " + channels.join("  \u00b7  ");
}

SongViewWindow::SongViewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Song View");
    setMinimumSize(420, 300);
    resize(900, 480);
    header_ = new QLabel(this);
    header_->setTextFormat(Qt::PlainText);
    header_->setContentsMargins(8, 4, 8, 4);
    canvas_ = new SongCanvas(this);
    bar_ = new QScrollBar(Qt::Horizontal, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(canvas_, 1);
    layout->addWidget(bar_);

    connect(canvas_, &SongCanvas::viewChanged, this, &SongViewWindow::syncScrollBar);
    connect(bar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing_) return;
        canvas_->setView(value * canvas_->framesPerPixel(), canvas_->framesPerPixel());
    });
    // (Escape is left to the program: there, as in the main window, it stops what plays.)
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this), &QShortcut::activated, this, &QWidget::close);
    // Ctrl+plus (also Ctrl+= , the same key without Shift) and Ctrl+minus, around the playhead or the middle.
    const auto zoom = [this](double factor) {
        const auto head = canvas_->playhead();
        const double x = head ? canvas_->xOfFrame(static_cast<double>(*head)) : -1;
        canvas_->zoomBy(factor, x >= 0 && x <= canvas_->width() ? static_cast<int>(x) : canvas_->width() / 2);
    };
    // (Each key once: two shortcuts on one key would cancel each other out.)
    const auto bind = [this, zoom](const QList<QKeySequence>& keys, double factor) {
        QList<QKeySequence> bound;
        for (const QKeySequence& k : keys) {
            if (k.isEmpty() || bound.contains(k)) continue;
            bound << k;
            connect(new QShortcut(k, this), &QShortcut::activated, this, [zoom, factor] { zoom(factor); });
        }
    };
    bind(QKeySequence::keyBindings(QKeySequence::ZoomIn) +
             QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
         SongCanvas::kZoomStep);
    bind(QKeySequence::keyBindings(QKeySequence::ZoomOut) + QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Minus)},
         1 / SongCanvas::kZoomStep);
    setContent({});
}

QString SongViewWindow::facts() const { return header_->text(); }

void SongViewWindow::setContent(SongViewContent content) {
    header_->setText(songFactsText(content));
    const bool first = !fitted_ && content.map.frames > 0;
    canvas_->setContent(std::move(content));
    if (first) {
        fitted_ = true;
        canvas_->fitOpening();
    }
    syncScrollBar();
}

void SongViewWindow::syncScrollBar() {
    syncing_ = true;
    const double fpp = canvas_->framesPerPixel();
    const double hidden = std::max(0.0, canvas_->extentFrames() - canvas_->visibleFrames());
    bar_->setRange(0, static_cast<int>(std::ceil(hidden / fpp)));
    bar_->setPageStep(std::max(1, canvas_->width()));
    bar_->setSingleStep(std::max(1, canvas_->width() / 16));
    bar_->setValue(static_cast<int>(std::lround(canvas_->firstFrame() / fpp)));
    syncing_ = false;
}

void SongViewWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace bleeptone
