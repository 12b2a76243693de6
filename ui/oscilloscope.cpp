#include "ui/oscilloscope.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>

#include <algorithm>

namespace bleeptone {

namespace {

const QColor kBackground(16, 24, 40);
const QColor kGrid(40, 56, 84);
const QColor kLabel(150, 170, 200);

}  // namespace

QColor traceColour(int trace) {
    static const std::array<QColor, kScopeTraces> colours = {
        QColor(255, 110, 90), QColor(255, 200, 70), QColor(110, 220, 120), QColor(90, 170, 255), QColor(235, 235, 245)};
    return colours[static_cast<std::size_t>(std::clamp(trace, 0, kScopeTraces - 1))];
}

std::size_t traceStart(std::span<const float> samples, std::size_t shown) {
    if (samples.size() <= shown) return 0;
    const std::size_t last = samples.size() - shown;  // the newest start that still shows `shown` samples
    // Search backwards from the newest possible start, so the picture is as fresh as can be.
    for (std::size_t i = last; i >= 1; --i)
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) return i;
    return last;
}

OscilloscopeWindow::OscilloscopeWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Oscilloscope");
    setMinimumSize(320, 300);
    resize(560, 520);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
}

void OscilloscopeWindow::setFrame(const ScopeFrame& frame) {
    frame_ = frame;
    update();
}

void OscilloscopeWindow::clear() {
    frame_ = {};
    update();
}

void OscilloscopeWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

void OscilloscopeWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.setRenderHint(QPainter::Antialiasing);
    const double rowHeight = static_cast<double>(height()) / kScopeTraces;
    const char* const names[kScopeTraces] = {"1", "2", "3", "4", "Mix"};
    for (int t = 0; t < kScopeTraces; ++t) {
        const double top = t * rowHeight, middle = top + rowHeight / 2;
        p.setPen(kGrid);
        p.drawLine(QPointF(0, middle), QPointF(width(), middle));
        if (t > 0) p.drawLine(QPointF(0, top), QPointF(width(), top));
        const bool dim = t < 4 && frame_.muted[static_cast<std::size_t>(t)];
        p.setPen(kLabel);
        p.drawText(QRectF(6, top + 2, 60, 16), Qt::AlignLeft | Qt::AlignTop, names[t]);

        const std::vector<float>& samples = frame_.traces[static_cast<std::size_t>(t)];
        if (samples.size() < 2) continue;
        const std::size_t shown = std::min<std::size_t>(kShownSamples, samples.size());
        const std::size_t start = traceStart(samples, shown);
        const double full = std::max(1e-6f, frame_.fullScale[static_cast<std::size_t>(t)]);
        const double scale = (rowHeight / 2 - 4) / full;
        QPainterPath path;
        for (std::size_t i = 0; i < shown; ++i) {
            const double x = static_cast<double>(i) * width() / static_cast<double>(shown - 1);
            const double y = middle - std::clamp(static_cast<double>(samples[start + i]), -full, full) * scale;
            if (i == 0) path.moveTo(x, y);
            else path.lineTo(x, y);
        }
        QColor colour = traceColour(t);
        if (dim) colour.setAlpha(70);
        p.setPen(QPen(colour, 1.5));
        p.drawPath(path);
    }
}

}  // namespace bleeptone
