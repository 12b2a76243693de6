#pragma once
// The oscilloscope window: the four voices and their mix as they play, each
// trace started at a rising zero crossing so that a steady tone stands still;
// muted voices are drawn dimmed.

#include <QColor>
#include <QWidget>

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "engine/scope_ring.h"  // kScopeTraces: voices 1..4, then the mix

namespace bleeptone {

// The colour of trace 0..3 (a voice; the song view's lanes use the same) or 4 (the mix).
QColor traceColour(int trace);

// The newest samples of each trace, oldest first (all of the same length).
struct ScopeFrame {
    std::array<std::vector<float>, kScopeTraces> traces;
    std::array<bool, 4> muted{};
    // The value drawn at the top of a trace's row.
    std::array<float, kScopeTraces> fullScale{1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
};

// Where a trace's window of `shown` samples starts: the first rising zero
// crossing (a sample below zero followed by one at or above it) that leaves
// `shown` samples after it; the newest window when there is none (silence,
// noise-free DC).
std::size_t traceStart(std::span<const float> samples, std::size_t shown);

class OscilloscopeWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShownSamples = 1024;  // about 23 ms of sound per trace

    explicit OscilloscopeWindow(QWidget* parent = nullptr);
    void setFrame(const ScopeFrame& frame);  // draws it at the next paint
    void clear();                            // nothing plays: flat lines
    const ScopeFrame& frame() const { return frame_; }

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    ScopeFrame frame_;
};

}  // namespace bleeptone
