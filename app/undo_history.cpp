#include "app/undo_history.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextDocument>

#include <utility>

#include "app/main_window.h"
#include "ui/text_editor.h"

namespace bleeptone {

namespace {

enum StepId { kValueStepId = 1 };

// Whether a step (a solo: the steps within it) changes the document.
bool changesDocument(const QUndoCommand* step);

// Where two texts differ: the length of their common start, and of their
// common end within what is left.
std::pair<qsizetype, qsizetype> commonEnds(const QString& a, const QString& b) {
    qsizetype start = 0;
    while (start < a.size() && start < b.size() && a[start] == b[start]) ++start;
    qsizetype end = 0;
    while (end < a.size() - start && end < b.size() - start && a[a.size() - 1 - end] == b[b.size() - 1 - end]) ++end;
    return {start, end};
}

}  // namespace

// A step of one control that holds a value: before and after.
class ValueStep : public QUndoCommand {
public:
    ValueStep(UndoHistory& history, int n, QVariant before, QVariant after)
        : QUndoCommand(UndoHistory::controlName(n)),
          history_(history),
          control_(n),
          before_(std::move(before)),
          after_(std::move(after)) {}
    ~ValueStep() override {
        if (history_.openRun_ == this) history_.openRun_ = nullptr;
    }

    int id() const override { return kValueStepId; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const ValueStep*>(other);
        if (history_.openRun_ != this || next->control_ != control_) return false;
        after_ = next->after_;
        setObsolete(after_ == before_);  // back where it started: no step at all
        history_.merged_ = true;
        return true;
    }
    void undo() override {
        history_.apply([&] { history_.setValue(control_, before_, after_); });
    }
    void redo() override {
        if (std::exchange(first_, false)) return;  // done already, by the user
        history_.apply([&] { history_.setValue(control_, after_, before_); });
    }

    int control() const { return control_; }
    // A change the program made right after the user's finishes the user's step.
    void finishWith(const QVariant& value) { after_ = value; }
    bool changesDocument() const { return !control::isMuteBox(control_); }

private:
    UndoHistory& history_;
    int control_;
    QVariant before_, after_;
    bool first_ = true;
};

// A step of an editor's own history.
class EditorStep : public QUndoCommand {
public:
    EditorStep(UndoHistory& history, QPlainTextEdit* editor, const QString& name)
        : QUndoCommand(name), history_(history), editor_(editor) {}

    void undo() override {
        history_.apply([&] {
            editor_->setFocus(Qt::OtherFocusReason);
            editor_->undo();  // the caret goes where the change was
        });
    }
    void redo() override {
        if (std::exchange(first_, false)) return;
        history_.apply([&] {
            editor_->setFocus(Qt::OtherFocusReason);
            editor_->redo();
        });
    }

private:
    UndoHistory& history_;
    QPlainTextEdit* editor_;
    bool first_ = true;
};

namespace {

bool changesDocument(const QUndoCommand* step) {
    if (const auto* value = dynamic_cast<const ValueStep*>(step)) return value->changesDocument();
    if (dynamic_cast<const EditorStep*>(step)) return true;
    for (int i = 0; i < step->childCount(); ++i)
        if (changesDocument(step->child(i))) return true;
    return false;
}

}  // namespace

UndoHistory::UndoHistory(MainWindow& window) : QObject(&window), window_(window) {
    stack_.setUndoLimit(kLimit);
    watchControls();
    connect(&stack_, &QUndoStack::indexChanged, this, [this] {
        updateMenu();
        emit changed();
    });
    connect(&stack_, &QUndoStack::cleanChanged, this, &UndoHistory::changed);
    // The focus moving on ends a run of changes to one control.
    connect(qApp, &QApplication::focusChanged, this, [this] { openRun_ = nullptr; });
    connect(&window_, &MainWindow::userActionStarted, this, [this](const QString& name) {
        openRun_ = nullptr;
        stack_.beginMacro(name);
    });
    connect(&window_, &MainWindow::userActionFinished, this, [this] {
        stack_.endMacro();
        openRun_ = nullptr;
    });
    qApp->installEventFilter(this);
    restart(true);
}

UndoHistory::~UndoHistory() {
    qApp->removeEventFilter(this);
    // Nobody hears of the steps going.
    blockSignals(true);
    stack_.blockSignals(true);
    stack_.clear();
}

void UndoHistory::watchControls() {
    ControlTable& c = window_.controls();
    for (int n = 0; n < control::Count; ++n) {
        QWidget* w = c.widget(n);
        switch (c.kind(n)) {
            case ControlKind::SpinBox:
                connect(static_cast<QSpinBox*>(w), &QSpinBox::valueChanged, this, [this, n] { noteChange(n); });
                break;
            case ControlKind::ListBox:
                connect(static_cast<QComboBox*>(w), &QComboBox::currentIndexChanged, this,
                        [this, n] { noteChange(n); });
                break;
            case ControlKind::CheckBox:
                connect(static_cast<QCheckBox*>(w), &QCheckBox::toggled, this, [this, n] { noteChange(n); });
                break;
            case ControlKind::TextField:
                connect(static_cast<QLineEdit*>(w), &QLineEdit::textChanged, this, [this, n] { noteChange(n); });
                break;
            case ControlKind::Editor: {
                auto* editor = static_cast<TextEditor*>(w);
                connect(editor->document(), &QTextDocument::undoCommandAdded, this, [this, n] { editorStepAdded(n); });
                // A paste is a step of its own: the typing after it is the next.
                connect(editor, &TextEditor::pasteStarted, this, [this] { nextName_ = "Paste"; });
                connect(editor, &TextEditor::pasteFinished, this, [this, editor] {
                    nextName_.clear();
                    editor->document()->setModified(false);
                });
                editor->setUndoItems(window_.menuItem(menu::Undo), window_.menuItem(menu::Redo));
                break;
            }
            default: break;
        }
    }
}

QString UndoHistory::controlName(int n) {
    if (n == control::MeasureBox) return "Measure";
    if (n == control::TempoBox) return "Tempo";
    if (control::channelOf(n) != 0) {
        switch (control::offsetInChannel(n)) {
            case control::WaveformOffset: return "Waveform";
            case control::OctaveOffset: return "Octave";
            case control::VolumeOffset: return "Volume";
            case control::DecayOffset: return "Decay";
            case control::MuteOffset: return "Mute";
            default: break;
        }
    }
    return "Typing";
}

QVariant UndoHistory::valueOf(int n) const {
    const ControlTable& c = window_.controls();
    return c.kind(n) == ControlKind::TextField ? QVariant(c.text(n)) : QVariant(c.state(n));
}

void UndoHistory::noteChange(int n) {
    if (window_.controls().kind(n) == ControlKind::Editor) return;
    const QVariant now = valueOf(n);
    QVariant& known = known_[static_cast<std::size_t>(n)];
    const QVariant before = std::exchange(known, now);
    if (applying_ || before == now) return;
    if (window_.controls().settingByProgram()) {
        if (openRun_ && openRun_->control() == n) openRun_->finishWith(now);
        return;
    }
    auto* step = new ValueStep(*this, n, before, now);
    merged_ = false;
    push(step);
    // Merged into the open run (which may be gone, back where it started),
    // or the run from now on.
    if (!merged_) openRun_ = step;
    endEditorRuns();
}

void UndoHistory::editorStepAdded(int n) {
    // The "?" replacement joins the user's step; an undo or redo adds none.
    if (applying_ || window_.controls().settingByProgram()) return;
    auto* editor = static_cast<QPlainTextEdit*>(window_.controls().widget(n));
    openRun_ = nullptr;
    push(new EditorStep(*this, editor, nextName_.isEmpty() ? QStringLiteral("Typing") : nextName_));
    nextName_.clear();
    endEditorRuns(editor->document());
}

void UndoHistory::push(QUndoCommand* step) { stack_.push(step); }

template <typename Change>
void UndoHistory::apply(Change&& change) {
    const bool was = std::exchange(applying_, true);
    change();
    applying_ = was;
}

void UndoHistory::setValue(int n, const QVariant& value, const QVariant& other) {
    QWidget* w = window_.controls().widget(n);
    w->setFocus(Qt::OtherFocusReason);
    switch (window_.controls().kind(n)) {
        case ControlKind::SpinBox: static_cast<QSpinBox*>(w)->setValue(value.toInt()); break;
        case ControlKind::ListBox: static_cast<QComboBox*>(w)->setCurrentIndex(value.toInt()); break;
        case ControlKind::CheckBox: static_cast<QCheckBox*>(w)->setChecked(value.toInt() != 0); break;
        case ControlKind::TextField: {
            auto* field = static_cast<QLineEdit*>(w);
            const QString text = value.toString();
            field->setText(text);
            // The caret after what the step changed.
            field->setCursorPosition(static_cast<int>(text.size() - commonEnds(text, other.toString()).second));
            break;
        }
        default: break;
    }
    known_[static_cast<std::size_t>(n)] = valueOf(n);
}

void UndoHistory::endEditorRuns(const QTextDocument* except) {
    ControlTable& c = window_.controls();
    for (int n = 0; n < control::Count; ++n) {
        if (c.kind(n) != ControlKind::Editor) continue;
        QTextDocument* doc = static_cast<QPlainTextEdit*>(c.widget(n))->document();
        if (doc != except) doc->setModified(false);
    }
}

void UndoHistory::undo() {
    openRun_ = nullptr;
    stack_.undo();
    endEditorRuns();
}

void UndoHistory::redo() {
    openRun_ = nullptr;
    stack_.redo();
    endEditorRuns();
}

void UndoHistory::restart(bool saved) {
    openRun_ = nullptr;
    stack_.clear();
    if (!saved) stack_.resetClean();
    ControlTable& c = window_.controls();
    for (int n = 0; n < control::Count; ++n) {
        if (c.kind(n) == ControlKind::Editor)
            static_cast<QPlainTextEdit*>(c.widget(n))->document()->clearUndoRedoStacks();
        known_[static_cast<std::size_t>(n)] = valueOf(n);
    }
    endEditorRuns();
    updateMenu();
    emit changed();
}

void UndoHistory::markSaved() {
    openRun_ = nullptr;
    stack_.setClean();
    endEditorRuns();
    emit changed();
}

bool UndoHistory::documentEdited() const {
    if (stack_.isClean()) return false;
    const int clean = stack_.cleanIndex();
    if (clean < 0) return true;
    for (int i = std::min(clean, stack_.index()); i < std::max(clean, stack_.index()); ++i)
        if (changesDocument(stack_.command(i))) return true;
    return false;
}

void UndoHistory::updateMenu() {
    const struct {
        int item;
        bool can;
        QString label, step;
    } items[] = {{menu::Undo, stack_.canUndo(), "&Undo", stack_.undoText()},
                 {menu::Redo, stack_.canRedo(), "&Redo", stack_.redoText()}};
    for (const auto& i : items) {
        QAction* a = window_.menuItem(i.item);
        a->setEnabled(i.can);
        a->setText(i.can ? i.label + ' ' + i.step : i.label);
    }
}

bool UndoHistory::eventFilter(QObject* watched, QEvent* event) {
    // Undo and Redo keys in any control of the main window are the menu's:
    // the field's own history never sees them (nor, when there is nothing
    // to undo, the key press that follows).
    const auto type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &window_) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
        key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z) ||
        key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y)) {
        event->ignore();
        return true;
    }
    if (type == QEvent::KeyPress && !applying_) {
        // A key names the editor step it makes: a cut, else typing (a paste names itself).
        nextName_ = key->matches(QKeySequence::Cut) && qobject_cast<QPlainTextEdit*>(widget) ? "Cut" : QString();
    }
    return false;
}

}  // namespace bleeptone
