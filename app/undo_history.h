#pragma once
// The document's one undo history. Every change the user makes to a control
// of the main window is a step of one QUndoStack, whichever control it was:
//
// - editors (channel editors, project info): each step of the editor's own
//   QTextDocument history (its undoCommandAdded signal) is a step here, and
//   undoing it undoes the editor's step. So a run of typing is one step as
//   the editor merges it, a paste is one, and the "?" that replaces what MML
//   has no use for joins the typing it came with. The editor keeps merging
//   only while no other step comes between: any other step, an undo, a redo
//   or a save ends its run (QTextDocument merges only while it is modified,
//   so its modified flag is cleared).
// - spin boxes, list boxes, Mute boxes (valueChanged, currentIndexChanged,
//   toggled) and one-line fields (textChanged): the value before and after.
//   Changes of one control follow one another into one step until the focus
//   moves or another step comes between. A solo is one step of several Mute
//   boxes.
//
// A change the program makes (ControlTable::settingByProgram) is no step,
// except that it may finish the user's step of the same control (the tempo
// box's arrows skip codes after the user's step).
//
// Undo and redo change the controls as the user would (live edits follow),
// put the focus and the caret where the change was, and record nothing.
// Ctrl+Z and the Redo keys always reach this history: no field's own undo
// gets them.

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <QVariant>

#include <array>

#include "app/controls.h"

class QTextDocument;

namespace bleeptone {

class MainWindow;

class UndoHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kLimit = 1000;  // steps kept

    explicit UndoHistory(MainWindow& window);
    ~UndoHistory() override;

    void undo();
    void redo();

    // A new history, for a document the program has just put into the
    // window. saved: it is what its file (or the template) holds, so undoing
    // back here clears the edited mark; otherwise (a paste, a recovered
    // copy) only a save does.
    void restart(bool saved);
    // The document was saved as it is now.
    void markSaved();
    // Whether the document differs from where it was saved: a step between
    // there and now changes it (Mute boxes and solo are no part of it).
    bool documentEdited() const;
    // Records a change of control n that has not been recorded yet (the
    // loop's change event may come before the control's own signal reaches
    // the history); nothing when it has. Editors record themselves.
    void noteChange(int n);
    // The name the next editor step takes instead of "Typing" (Cut, Paste).
    void nameNextStep(const QString& name) { nextName_ = name; }

    const QUndoStack& stack() const { return stack_; }

    // What a step of control `n` is called in the Edit menu ("Octave"); typing is "Typing".
    static QString controlName(int n);

signals:
    // After every step, undo, redo, restart and save.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ValueStep;
    friend class EditorStep;

    void watchControls();
    void editorStepAdded(int n);
    void push(QUndoCommand* step);
    // Undoing or redoing: the controls change as the user's, but make no step.
    template <typename Change>
    void apply(Change&& change);
    QVariant valueOf(int n) const;
    void setValue(int n, const QVariant& value, const QVariant& other);
    // Ends the editors' runs of typing (all but `except`'s).
    void endEditorRuns(const QTextDocument* except = nullptr);
    void updateMenu();

    MainWindow& window_;
    QUndoStack stack_;
    std::array<QVariant, control::Count> known_{};  // each value control as last seen
    class ValueStep* openRun_ = nullptr;            // the step further changes of its control join
    bool applying_ = false;
    bool merged_ = false;  // the last push joined the open run
    QString nextName_;
};

}  // namespace bleeptone
