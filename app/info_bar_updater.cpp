#include "app/info_bar_updater.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextBlock>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/tune_problems.h"
#include "app/window_fields.h"
#include "engine/query.h"
#include "project/u16_view.h"
#include "song/song_assembly.h"
#include "ui/aux_windows.h"
#include "ui/info_bar.h"

namespace bleeptone {

InfoBarUpdater::InfoBarUpdater(MainWindow& window)
    : QObject(&window), window_(window), image_(newInfoBarImage(kInfoBarWidth)), strip_(waveformStrip()),
      font_(infoBarFont()) {
    ControlTable& controls = window_.controls();
    for (int c = 1; c <= 4; ++c) {
        auto* editor = static_cast<QPlainTextEdit*>(controls.widget(control::channelEditor(c)));
        editor->installEventFilter(this);
        editor->viewport()->installEventFilter(this);
        controls.widget(control::infoBar(c))->installEventFilter(this);
        connect(editor->document(), &QTextDocument::contentsChange, this, &InfoBarUpdater::markStale);
        connect(editor, &QPlainTextEdit::cursorPositionChanged, this, &InfoBarUpdater::markStale);
        connect(editor, &QPlainTextEdit::selectionChanged, this, &InfoBarUpdater::markStale);
    }
    // The settings the bar starts from, however they change.
    auto watchSetting = [this, &controls](int number) {
        QWidget* w = controls.widget(number);
        if (auto* spin = qobject_cast<QSpinBox*>(w)) connect(spin, &QSpinBox::valueChanged, this, &InfoBarUpdater::markStale);
        if (auto* box = qobject_cast<QComboBox*>(w))
            connect(box, &QComboBox::currentIndexChanged, this, &InfoBarUpdater::markStale);
    };
    watchSetting(control::TempoBox);
    watchSetting(control::MeasureBox);
    for (int c = 1; c <= 4; ++c)
        for (int n : {control::waveformBox(c), control::octaveBox(c), control::volumeBox(c), control::decayBox(c)})
            watchSetting(n);
}

bool InfoBarUpdater::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            // After the editor has handled it, so that the caret has moved.
            scheduleStep();
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) scheduleStep();
            break;
        case QEvent::Resize:
        case QEvent::ScreenChangeInternal:  // possibly another pixel ratio
            // Only the bars are watched for these (an editor's resize shows in its bar's).
            if (qobject_cast<QPlainTextEdit*>(watched) == nullptr) {
                markStale();
                scheduleStep();
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void InfoBarUpdater::setProblems(const TuneProblems* problems) {
    problems_ = problems;
    connect(problems, &TuneProblems::changed, this, [this] {
        markStale();
        scheduleStep();
    });
}

void InfoBarUpdater::scheduleStep() {
    if (stepScheduled_) return;
    stepScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            stepScheduled_ = false;
            step(false);
        },
        Qt::QueuedConnection);
}

void InfoBarUpdater::step(bool focusArrived) {
    window_.dropUnfocusedSelections();
    ControlTable& controls = window_.controls();
    const int focused = controls.focused();
    for (int c = 1; c <= 4; ++c) {
        const std::size_t i = static_cast<std::size_t>(c);
        if (control::channelEditor(c) != focused) {
            if (shown_[i]) controls.clearImage(control::infoBar(c));
            shown_[i] = false;
        } else if (focusArrived || ((stale_ || !shown_[i]) && !stepScheduled_)) {
            // While a key's step is on its way, that step draws the bar once
            // the key has been handled completely.
            redraw(c);
        }
    }
}

void InfoBarUpdater::redraw(int channel) {
    ControlTable& controls = window_.controls();
    const int editorWidth = controls.geometry(control::channelEditor(1)).width();
    const qreal ratio = controls.widget(control::infoBar(channel))->devicePixelRatioF();
    const bool imageFresh =
        static_cast<int>(image_.deviceIndependentSize().width()) == editorWidth && image_.devicePixelRatio() == ratio;
    if (!imageFresh) image_ = newInfoBarImage(editorWidth, ratio);

    // The verse at the caret (the start of the selection), read from the
    // editor's document: its line and number, nothing before it.
    const auto* editor = static_cast<const QPlainTextEdit*>(controls.widget(control::channelEditor(channel)));
    const int caret = controls.selection(control::channelEditor(channel)).first;
    const QTextBlock block = editor->document()->findBlock(caret);
    const int column = std::clamp(caret - block.position(), 0, std::max(block.length() - 1, 0));
    const QString prefix = channelPrefix(WindowFields(controls), channel);
    // The query reads only what stands before the caret.
    const QString line = prefix + block.text().left(column);

    InfoBarContent content;
    PSG_GetInfoMML(u16view(line), prefix.size() + column + 1, &content.info);
    content.verse = block.blockNumber() + 1;
    content.channel = channel;
    const QString measure = controls.text(control::MeasureBox);
    content.measureUnits = 8 * (measure.isEmpty() ? 4 : measure.left(1).toInt());
    content.editorWidth = editorWidth;
    if (problems_) content.problem = problems_->messageAt(channel, caret).section('\n', 0, 0);
    stale_ = false;
    // The same picture again (the caret moved within a command, a key
    // changed nothing the bar shows): nothing to draw.
    const std::size_t c = static_cast<std::size_t>(channel);
    if (shown_[c] && content == drawn_ && imageFresh) return;
    drawInfoBar(image_, content, strip_, font_);
    controls.setImage(control::infoBar(channel), image_);
    shown_[c] = true;
    drawn_ = content;
}

}  // namespace bleeptone
