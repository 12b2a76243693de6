#pragma once
// The main window's controls by number: every command reads and writes the
// window through this table. Values set here are the program's, never the
// user's: they raise no change events.

#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <utility>

#include "app/controls.h"

class QWidget;

namespace bleeptone {

class ControlTable {
public:
    void add(int number, ControlKind kind, QWidget* widget);
    QWidget* widget(int number) const;
    ControlKind kind(int number) const;
    // The number of the control holding this widget (or one of its parts), or -1.
    int numberOf(const QWidget* widget) const;

    // Labels, fields, editors (lines joined by line feeds), buttons, frames;
    // spin boxes as their number in decimal.
    QString text(int number) const;
    void setText(int number, const QString& text);
    // List box index, spin box number, check box 0 or 1.
    int state(int number) const;
    void setState(int number, int state);

    // Editors.
    int lineCount(int number) const;
    QString line(int number, int index) const;
    std::pair<int, int> selection(int number) const;  // start and length, in UTF-16 units
    void setSelection(int number, int start, int length);
    int caretLine(int number) const;

    void setEnabled(int number, bool enabled);
    bool isEnabled(int number) const;
    void setVisible(int number, bool visible);
    bool isVisible(int number) const;  // not hidden (the window itself may be)
    QRect geometry(int number) const;
    void setGeometry(int number, const QRect& rect);

    // Info bars.
    void setImage(int number, const QImage& image);
    void clearImage(int number);

    // The control that has the main window's keyboard focus (kept while a
    // message box or another window is active), or -1.
    int focused() const;

    // True while the program itself is changing a control.
    bool settingByProgram() const { return programDepth_ > 0; }

    // Marks changes made while it lives as the program's own.
    class ProgramChange {
    public:
        explicit ProgramChange(const ControlTable& table);
        ~ProgramChange();
        ProgramChange(const ProgramChange&) = delete;
        ProgramChange& operator=(const ProgramChange&) = delete;

    private:
        const ControlTable& table_;
    };

private:
    struct Entry {
        ControlKind kind = ControlKind::Label;
        QWidget* widget = nullptr;
    };
    const Entry& at(int number) const;

    std::array<Entry, control::Count> entries_{};
    // Bookkeeping, not state of the controls: a const table may be marked too.
    mutable int programDepth_ = 0;
};

}  // namespace bleeptone
