#include "info_bar_updater.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "aux_windows.h"
#include "controls.h"
#include "info_bar.h"
#include "main_window.h"
#include "query.h"
#include "song_assembly.h"
#include "u16_view.h"
#include "window_fields.h"

namespace bleeptone {

InfoBarUpdater::InfoBarUpdater(MainWindow& window)
    : QObject(&window), window_(window), image_(newInfoBarImage(kInfoBarWidth)), strip_(waveformStrip()) {
    for (int c = 1; c <= 4; ++c) {
        auto* editor = static_cast<QPlainTextEdit*>(window_.controls().widget(control::channelEditor(c)));
        editor->installEventFilter(this);
        editor->viewport()->installEventFilter(this);
    }
}

bool InfoBarUpdater::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress;
    const bool release = event->type() == QEvent::MouseButtonRelease &&
                         static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (key || release) {
        // After the editor has handled it, so that the caret has moved.
        QMetaObject::invokeMethod(this, [this] { step(true); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void InfoBarUpdater::step(bool redrawFocused) {
    window_.dropUnfocusedSelections();
    const int focused = window_.controls().focused();
    for (int c = 1; c <= 4; ++c) {
        const int editor = control::channelEditor(c);
        if (editor != focused) window_.controls().clearImage(control::infoBar(c));
        else if (redrawFocused) redraw(c);
    }
}

void InfoBarUpdater::redraw(int channel) {
    ControlTable& controls = window_.controls();
    const int editorWidth = controls.geometry(control::channelEditor(1)).width();
    if (image_.width() != editorWidth) image_ = newInfoBarImage(editorWidth);

    const QString text = controls.text(control::channelEditor(channel));
    const int caret = std::clamp(controls.selection(control::channelEditor(channel)).first, 0, static_cast<int>(text.size()));
    const int lineStart = caret == 0 ? 0 : static_cast<int>(text.lastIndexOf('\n', caret - 1)) + 1;
    qsizetype lineEnd = text.indexOf('\n', caret);
    if (lineEnd < 0) lineEnd = text.size();
    const QString prefix = channelPrefix(WindowFields(controls), channel);
    const QString line = prefix + text.mid(lineStart, lineEnd - lineStart);

    InfoBarContent content;
    PSG_GetInfoMML(u16view(line), prefix.size() + (caret - lineStart) + 1, &content.info);
    content.verse = static_cast<int>(text.left(caret).count('\n')) + 1;
    content.channel = channel;
    const QString measure = controls.text(control::MeasureBox);
    content.measureUnits = 8 * (measure.isEmpty() ? 4 : measure.left(1).toInt());
    content.editorWidth = editorWidth;
    drawInfoBar(image_, content, strip_, infoBarFont());
    controls.setImage(control::infoBar(channel), image_);
}

}  // namespace bleeptone
