#include "app/playback_view.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "app/song_view_link.h"
#include "engine/engine.h"
#include "project/control_numbers.h"
#include "project/u16_view.h"
#include "song/song_positions.h"
#include "ui/editor_marks.h"
#include "ui/oscilloscope.h"

namespace bleeptone {

namespace {

const QColor kPlayheadBackground(255, 210, 120);

QPlainTextEdit* editorOf(MainWindow& window, int channel) {
    return static_cast<QPlainTextEdit*>(window.controls().widget(control::channelEditor(channel)));
}

}  // namespace

PlaybackView::PlaybackView(MainWindow& window, Engine& engine, SongCommands& song, const PlayOptions& options)
    : QObject(&window), window_(window), engine_(engine), song_(song), options_(options) {
    marked_.fill({-1, 0});
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PlaybackView::refresh);
    connect(&song_, &SongCommands::started, this, &PlaybackView::start);
}

PlaybackView::~PlaybackView() {
    if (scope_) {
        scope_->disconnect(this);
        delete scope_;
    }
}

OscilloscopeWindow* PlaybackView::oscilloscope() const { return scope_; }

void PlaybackView::start() {
    timer_.start();
    refresh();
}

void PlaybackView::refresh() {
    if (!isPlaying(song_.playState())) {  // nothing plays (any more)
        timer_.stop();
        for (int c = 1; c <= 4; ++c) mark(c, -1, 0);
        if (scope_) scope_->clear();
        if (songView_) songView_->showHeard(std::nullopt, 0);
        return;
    }
    showPlayhead();
    if (scope_) showScope();
}

void PlaybackView::showPlayhead() {
    std::array<std::pair<int, int>, 4> next;
    next.fill({-1, 0});
    PlayheadSnapshot heard;
    const bool any = engine_.playheadNow(heard);
    if (any) song_.heard(heard.song);  // a passage queued at a loop's end may be what is heard now
    const NowPlaying& now = song_.nowPlaying();
    if (songView_) {
        // The heard sample's place on its song's clock.
        const std::uint64_t rendered = engine_.framesRendered(), latency = engine_.outputLatencyFrames();
        const std::uint64_t h = rendered > latency ? rendered - latency - 1 : 0;
        songView_->showHeard(any ? std::optional(heard.song) : std::nullopt,
                             heard.songFrame + (h >= heard.frame ? h - heard.frame : 0));
    }
    // Until the new song is heard, what is heard is the old one: no marker.
    if (any && heard.song == now.song) {
        for (int k = 0; k < 4; ++k) {
            const int position = heard.positions[static_cast<std::size_t>(k)];
            if (position < 0) continue;
            std::optional<EditorPlace> place;
            const QString* text = nullptr;
            if (now.passage) {
                if (k != passageVoice(now.passageChannel)) continue;
                place = placeInPassage(*now.passage, now.passageChannel, position);
                text = &now.passage->text;
            } else {
                place = placeInSong(now.channels[static_cast<std::size_t>(k)], k + 1, position);
                text = &now.channels[static_cast<std::size_t>(k)].text;
            }
            if (!place) continue;
            // The editor's line as it is now (it may have been edited since).
            const QTextBlock line = editorOf(window_, place->channel)->document()->findBlockByNumber(place->verse - 1);
            if (!line.isValid() || place->column >= line.length() - 1) continue;
            const int length = std::min(commandLength(u16view(*text), position), line.length() - 1 - place->column);
            next[static_cast<std::size_t>(place->channel - 1)] = {line.position() + place->column, length};
        }
    }
    for (int c = 1; c <= 4; ++c) {
        const auto& m = next[static_cast<std::size_t>(c - 1)];
        if (m != marked_[static_cast<std::size_t>(c - 1)]) mark(c, m.first, m.second);
    }
}

void PlaybackView::mark(int channel, int start, int length) {
    auto& marked = marked_[static_cast<std::size_t>(channel - 1)];
    if (marked == std::make_pair(start, length)) return;
    marked = {start, length};
    QPlainTextEdit* editor = editorOf(window_, channel);
    EditorMarks& marks = EditorMarks::of(editor);  // the problems' marks stay
    if (start < 0) {
        marks.set(EditorMarks::Playhead, {});
        return;
    }
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(editor->document());
    selection.cursor.setPosition(start);
    selection.cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    selection.format.setBackground(kPlayheadBackground);
    marks.set(EditorMarks::Playhead, {selection});
    if (!options_.followPlayback) return;
    // Into view, without touching the user's caret or selection.
    QTextCursor at(editor->document());
    at.setPosition(start);
    const QRect where = editor->cursorRect(at);
    const QRect view = editor->viewport()->rect();
    if (where.top() < 0 || where.bottom() > view.bottom()) {
        const int lineHeight = std::max(1, editor->fontMetrics().lineSpacing());
        QScrollBar* bar = editor->verticalScrollBar();
        bar->setValue(bar->value() + (where.center().y() - view.height() / 2) / lineHeight);
    }
    if (where.left() < 0 || where.right() > view.right() - view.width() / 8) {
        QScrollBar* bar = editor->horizontalScrollBar();
        bar->setValue(bar->value() + where.left() - view.width() / 3);
    }
}

void PlaybackView::showOscilloscope(bool shown) {
    if (!shown) {
        if (scope_) scope_->close();
        return;
    }
    if (!scope_) {
        scope_ = new OscilloscopeWindow();
        scope_->setAttribute(Qt::WA_DeleteOnClose);
        connect(scope_, &OscilloscopeWindow::closed, this, [this] {
            engine_.setScopeEnabled(false);
            emit oscilloscopeClosed();
        });
    }
    engine_.setScopeEnabled(true);
    scope_->show();
    scope_->raise();
    refresh();
}

void PlaybackView::showScope() {
    constexpr std::size_t kFrames = 2048;
    std::array<std::vector<float>, kScopeTraces> traces;
    std::array<float*, kScopeTraces> out{};
    for (std::size_t t = 0; t < traces.size(); ++t) {
        traces[t].resize(kFrames);
        out[t] = traces[t].data();
    }
    const std::size_t n = engine_.copyScope(kFrames, out.data());
    ScopeFrame frame;
    for (std::size_t t = 0; t < traces.size(); ++t) {
        traces[t].resize(n);
        frame.traces[t] = std::move(traces[t]);
    }
    for (int c = 1; c <= 4; ++c) frame.muted[static_cast<std::size_t>(c - 1)] = window_.controls().state(control::muteBox(c)) != 0;
    // Each trace fills its row: a voice at a quiet volume shows its shape as
    // well as a loud one (the mix's full scale, 0.5, is far above what one
    // voice reaches). Silence stays a flat line.
    for (std::size_t t = 0; t < frame.traces.size(); ++t) {
        float peak = 0.0f;
        for (const float v : frame.traces[t]) peak = std::max(peak, std::abs(v));
        frame.fullScale[t] = std::max(peak * 1.15f, 0.002f);
    }
    scope_->setFrame(frame);
}

}  // namespace bleeptone
