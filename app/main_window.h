#pragma once
// The main window: every numbered control and menu item, the layout rule on
// every resize, and the events the user's actions raise.

#include <QMainWindow>

#include <array>
#include <functional>
#include <optional>

#include "app/app_event.h"
#include "app/control_table.h"
#include "app/controls.h"
#include "app/midi_port.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace bleeptone {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    ControlTable& controls() { return controls_; }
    const ControlTable& controls() const { return controls_; }
    // The action of menu item n (0..14, or menu::About / menu::Quit).
    QAction* menuItem(int n) const;
    // The "Play" item at the top of every editor's context menu.
    QAction* playContextItem() const { return playContextItem_; }

    // Where the user's actions go (the dispatcher).
    void setEventSink(std::function<void(const AppEvent&)> sink) { sink_ = std::move(sink); }

    // The content area (controls are placed in its coordinates).
    QWidget* clientArea() const { return centralWidget(); }
    void layoutControls();

    // The document's title (it carries its own "*" while edited) and the
    // platform's edited mark, which change together.
    void setDocumentTitle(const QString& title, bool edited);
    const QString& title() const { return title_; }

    // Replaces characters MML has no use for in all four channel editors,
    // after the program has put text into them (colours follow by themselves).
    void colourAllEditors();

    // Every channel editor without the keyboard focus gets an empty
    // selection at its start (unless Play or Stop has the focus), so
    // that Play finds a selection only in the editor the user works in.
    void dropUnfocusedSelections();

    // File > Open Recent: the files, newest first (menu events carry the index).
    void setRecentFiles(const QStringList& paths);
    // Edit > Undo ... Select All (menu::Undo .. menu::SelectAll) on the
    // focused editor or field.
    void editFocusedField(int item);
    // Where the desktop's request to open files goes (the dropped .mmlp files).
    void setOpenRequest(std::function<void(const QString& paths)> open) { openRequest_ = std::move(open); }
    // Play > MIDI Input: "None" and the ports (menu events carry the index,
    // -1 for None), the chosen one checked; a chosen port that is not there
    // is shown as not connected. opening runs as the menu opens.
    void setMidiPorts(const QList<MidiPort>& ports, const QString& chosen);
    void setMidiMenuOpening(std::function<void()> opening) { midiMenuOpening_ = std::move(opening); }

    // A line at the left of the top row that tells how the sound fares
    // (the device was lost: playing on silently); empty hides it. It is no
    // control of the document.
    void setOutputNotice(const QString& text);
    QString outputNotice() const;

    // Web addresses of Help items 13 and 14 (empty: not configured).
    static QString websiteUrl();
    static QString forumUrl();

signals:
    // Several controls change as one action of the user's (a solo).
    void userActionStarted(const QString& name);
    void userActionFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    // Ctrl+click on a Mute box: that channel alone; again: the mutes from before.
    void toggleSolo(int channel);
    void fieldContextMenu(QLineEdit* field, QPoint globalPos);
    void enableEditItems(bool asTheFieldAllows);
    void buildControls();
    QWidget* makeControl(const ControlSpec& spec);
    void emitEvent(const AppEvent& event);
    void userChange(int number);

    ControlTable controls_;
    std::array<QAction*, menu::Count> menuItems_{};
    QAction* aboutItem_ = nullptr;
    QAction* quitItem_ = nullptr;
    QAction* playContextItem_ = nullptr;
    QAction* playFromHereItem_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* midiMenu_ = nullptr;
    std::function<void()> midiMenuOpening_;
    std::function<void(const QString&)> openRequest_;
    std::optional<std::array<int, 4>> mutesBeforeSolo_;
    std::function<void(const AppEvent&)> sink_;
    QString title_;
    std::array<class MmlEditorColouring*, 5> colouring_{};  // by channel 1..4
    QLabel* outputNotice_ = nullptr;                        // made when first needed
};

}  // namespace bleeptone
