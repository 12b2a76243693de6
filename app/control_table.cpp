#include "app/control_table.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>

#include <algorithm>

#include "ui/image_view.h"

namespace bleeptone {

ControlTable::ProgramChange::ProgramChange(const ControlTable& table) : table_(table) {
    ++table_.programDepth_;
}

ControlTable::ProgramChange::~ProgramChange() { --table_.programDepth_; }

void ControlTable::add(int number, ControlKind kind, QWidget* widget) {
    entries_.at(static_cast<std::size_t>(number)) = Entry{kind, widget};
}

const ControlTable::Entry& ControlTable::at(int number) const {
    static const Entry none{};
    if (number < 0 || number >= control::Count) return none;
    return entries_[static_cast<std::size_t>(number)];
}

QWidget* ControlTable::widget(int number) const { return at(number).widget; }
ControlKind ControlTable::kind(int number) const { return at(number).kind; }

int ControlTable::numberOf(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        for (int n = 0; n < control::Count; ++n)
            if (entries_[static_cast<std::size_t>(n)].widget == w) return n;
    }
    return -1;
}

QString ControlTable::text(int number) const {
    QWidget* w = widget(number);
    if (!w) return {};
    switch (kind(number)) {
        case ControlKind::Label: return static_cast<QLabel*>(w)->text();
        case ControlKind::TextField: return static_cast<QLineEdit*>(w)->text();
        case ControlKind::Editor: return static_cast<QPlainTextEdit*>(w)->toPlainText();
        case ControlKind::SpinBox: return QString::number(static_cast<QSpinBox*>(w)->value());
        case ControlKind::Button:
        case ControlKind::IconButton:
        case ControlKind::CheckBox: return static_cast<QAbstractButton*>(w)->text();
        case ControlKind::Frame: return static_cast<QGroupBox*>(w)->title();
        case ControlKind::ListBox: return static_cast<QComboBox*>(w)->currentText();
        case ControlKind::ImageView: return {};
    }
    return {};
}

void ControlTable::setText(int number, const QString& text) {
    QWidget* w = widget(number);
    if (!w) return;
    const ProgramChange guard(*this);
    switch (kind(number)) {
        case ControlKind::Label: static_cast<QLabel*>(w)->setText(text); break;
        case ControlKind::TextField: static_cast<QLineEdit*>(w)->setText(text); break;
        case ControlKind::Editor: static_cast<QPlainTextEdit*>(w)->setPlainText(text); break;
        case ControlKind::SpinBox: static_cast<QSpinBox*>(w)->setValue(text.trimmed().toInt()); break;
        case ControlKind::Button:
        case ControlKind::IconButton:
        case ControlKind::CheckBox: static_cast<QAbstractButton*>(w)->setText(text); break;
        case ControlKind::Frame: static_cast<QGroupBox*>(w)->setTitle(text); break;
        case ControlKind::ListBox:
        case ControlKind::ImageView: break;
    }
}

int ControlTable::state(int number) const {
    QWidget* w = widget(number);
    if (!w) return 0;
    switch (kind(number)) {
        case ControlKind::ListBox: return static_cast<QComboBox*>(w)->currentIndex();
        case ControlKind::SpinBox: return static_cast<QSpinBox*>(w)->value();
        case ControlKind::CheckBox: return static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0;
        default: return 0;
    }
}

void ControlTable::setState(int number, int state) {
    QWidget* w = widget(number);
    if (!w) return;
    const ProgramChange guard(*this);
    switch (kind(number)) {
        case ControlKind::ListBox: {
            auto* box = static_cast<QComboBox*>(w);
            if (state >= 0 && state < box->count()) box->setCurrentIndex(state);
            break;
        }
        case ControlKind::SpinBox: static_cast<QSpinBox*>(w)->setValue(state); break;
        case ControlKind::CheckBox: static_cast<QCheckBox*>(w)->setChecked(state != 0); break;
        default: break;
    }
}

int ControlTable::lineCount(int number) const {
    if (kind(number) != ControlKind::Editor || !widget(number)) return 0;
    return static_cast<QPlainTextEdit*>(widget(number))->document()->blockCount();
}

QString ControlTable::line(int number, int index) const {
    if (kind(number) != ControlKind::Editor || !widget(number)) return {};
    const QTextBlock block = static_cast<QPlainTextEdit*>(widget(number))->document()->findBlockByNumber(index);
    return block.isValid() ? block.text() : QString();
}

std::pair<int, int> ControlTable::selection(int number) const {
    if (kind(number) != ControlKind::Editor || !widget(number)) return {0, 0};
    const QTextCursor c = static_cast<QPlainTextEdit*>(widget(number))->textCursor();
    return {c.selectionStart(), c.selectionEnd() - c.selectionStart()};
}

void ControlTable::setSelection(int number, int start, int length) {
    if (kind(number) != ControlKind::Editor || !widget(number)) return;
    auto* editor = static_cast<QPlainTextEdit*>(widget(number));
    const int size = editor->document()->characterCount() - 1;  // without the final paragraph separator
    const int from = std::clamp(start, 0, size);
    const int to = std::clamp(start + std::max(length, 0), from, size);
    QTextCursor c = editor->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    const ProgramChange guard(*this);
    editor->setTextCursor(c);
}

int ControlTable::caretLine(int number) const {
    if (kind(number) != ControlKind::Editor || !widget(number)) return 0;
    return static_cast<QPlainTextEdit*>(widget(number))->textCursor().blockNumber();
}

void ControlTable::setEnabled(int number, bool enabled) {
    if (QWidget* w = widget(number)) w->setEnabled(enabled);
}

bool ControlTable::isEnabled(int number) const {
    const QWidget* w = widget(number);
    return w && w->isEnabled();
}

void ControlTable::setVisible(int number, bool visible) {
    if (QWidget* w = widget(number)) w->setVisible(visible);
}

bool ControlTable::isVisible(int number) const {
    const QWidget* w = widget(number);
    return w && !w->isHidden();
}

QRect ControlTable::geometry(int number) const {
    const QWidget* w = widget(number);
    return w ? w->geometry() : QRect();
}

void ControlTable::setGeometry(int number, const QRect& rect) {
    if (QWidget* w = widget(number)) w->setGeometry(rect);
}

void ControlTable::setImage(int number, const QImage& image) {
    if (kind(number) == ControlKind::ImageView && widget(number)) static_cast<ImageView*>(widget(number))->setImage(image);
}

void ControlTable::clearImage(int number) {
    if (kind(number) == ControlKind::ImageView && widget(number)) static_cast<ImageView*>(widget(number))->clearImage();
}

int ControlTable::focused() const {
    // The window's own focus: while a message box or another window is in
    // front, the control the user was in keeps it.
    const QWidget* any = entries_[0].widget;
    return any ? numberOf(any->window()->focusWidget()) : -1;
}

}  // namespace bleeptone
