// The main window's menu bar: File, Edit, Play, Tunes and Help, with their
// mnemonics and shortcuts, File > Open Recent, and the Edit commands on the
// focused field (Undo and Redo are the document's: app/undo_history.h).
#include <QAbstractSpinBox>
#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "app/main_window.h"

namespace bleeptone {

namespace {

// The platform's standard keys where it has them (Ctrl stands for Cmd off
// macOS); some platforms bind none, and then the usual Ctrl key is used.
QKeySequence standardKey(QKeySequence::StandardKey key, const QKeySequence& fallback) {
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? fallback : bindings.first();
}

// The editor or one-line field of the main window that has the focus.
QPlainTextEdit* focusedEditor(QWidget* w) { return qobject_cast<QPlainTextEdit*>(w); }
QLineEdit* focusedLine(QWidget* w) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) return line;
    if (auto* box = qobject_cast<QAbstractSpinBox*>(w)) return box->findChild<QLineEdit*>();
    return nullptr;
}

}  // namespace

void MainWindow::buildMenus() {
    auto item = [this](QMenu* m, int n, const QString& label, const QKeySequence& keys = {}) {
        QAction* a = m->addAction(label);
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, [this, n] { emitEvent(AppEvent::menu(n)); });
        menuItems_[static_cast<std::size_t>(n)] = a;
        return a;
    };
    QMenu* file = menuBar()->addMenu("&File");
    item(file, menu::New, "&New", standardKey(QKeySequence::New, QKeySequence(Qt::CTRL | Qt::Key_N)));
    item(file, menu::Open, "&Open", standardKey(QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O)));
    recentMenu_ = file->addMenu("Open &Recent");
    menuItems_[menu::OpenRecent] = recentMenu_->menuAction();
    item(file, menu::Save, "&Save", standardKey(QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_S)));
    item(file, menu::SaveAs, "Save &As...",
         standardKey(QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
    file->addSeparator();
    item(file, menu::CopyMml, "&Copy MML", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_C));
    item(file, menu::PasteMml, "&Paste MML", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_V));
    file->addSeparator();
    item(file, menu::RecordToWave, "Record to &Wave", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_W));
    item(file, menu::ExportAudio, "&Export Audio...", QKeySequence(Qt::CTRL | Qt::Key_E));
    item(file, menu::ExportMidi, "Export MI&DI...");
    item(file, menu::ExportWebPage, "Export We&b Page...");
    item(file, menu::ImportMidi, "&Import MIDI...");
    setRecentFiles({});

    QMenu* edit = menuBar()->addMenu("&Edit");
    // Every key the platform binds to each, and Redo on both Ctrl+Shift+Z and Ctrl+Y.
    item(edit, menu::Undo, "&Undo")->setShortcuts(QKeySequence::Undo);
    QList<QKeySequence> redo = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& k : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redo.contains(k)) redo << k;
    item(edit, menu::Redo, "&Redo")->setShortcuts(redo);
    edit->addSeparator();
    item(edit, menu::Cut, "Cu&t")->setShortcuts(QKeySequence::Cut);
    item(edit, menu::Copy, "&Copy")->setShortcuts(QKeySequence::Copy);
    item(edit, menu::Paste, "&Paste")->setShortcuts(QKeySequence::Paste);
    edit->addSeparator();
    item(edit, menu::SelectAll, "Select &All")->setShortcuts(QKeySequence::SelectAll);
    edit->addSeparator();
    item(edit, menu::NextProblem, "&Next Problem", QKeySequence(Qt::Key_F8));
    item(edit, menu::PreviousProblem, "Pre&vious Problem", QKeySequence(Qt::SHIFT | Qt::Key_F8));
    item(edit, menu::Problems, "Pro&blems");
    // The items say what the focused field can do when the menu opens; their
    // keys always reach the field.
    connect(edit, &QMenu::aboutToShow, this, [this] { enableEditItems(true); });
    connect(edit, &QMenu::aboutToHide, this, [this] { enableEditItems(false); });

    QMenu* play = menuBar()->addMenu("&Play");
    item(play, menu::PlayOrStop, "&Play", QKeySequence(Qt::Key_F5))
        ->setToolTip("Plays the song, or the passage selected in a channel editor; stops what plays");
    item(play, menu::PlayFromHere, "Play from &Here", QKeySequence(Qt::SHIFT | Qt::Key_F5));
    item(play, menu::StopPlaying, "&Stop", QKeySequence(Qt::Key_Escape));
    play->addSeparator();
    item(play, menu::LoopPlayback, "&Loop Playback")->setCheckable(true);
    item(play, menu::FollowPlayback, "&Follow Playback")->setCheckable(true);
    item(play, menu::HearNotes, "Hear &Notes While Typing")->setCheckable(true);
    play->addSeparator();
    item(play, menu::Oscilloscope, "&Oscilloscope")->setCheckable(true);
    item(play, menu::SongView, "Song &View", QKeySequence(Qt::Key_F6))->setCheckable(true);
    play->addSeparator();
    midiMenu_ = play->addMenu("MIDI &Input");
    menuItems_[menu::MidiInput] = midiMenu_->menuAction();
    connect(midiMenu_, &QMenu::aboutToShow, this, [this] {
        if (midiMenuOpening_) midiMenuOpening_();
    });
    setMidiPorts({}, {});

    QMenu* tunes = menuBar()->addMenu("&Tunes");
    for (int d = 0; d < 4; ++d) item(tunes, menu::Demo1 + d, QString("Demo &%1").arg(d + 1));

    QMenu* help = menuBar()->addMenu("&Help");
    help->setToolTipsVisible(true);
    item(help, menu::Help, "&Help", standardKey(QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)));
    help->addSeparator();
    item(help, menu::PsgModule, "&PSG Module");
    help->addSeparator();
    const struct {
        int number;
        QString label, url;
    } web[] = {{menu::Website, "Bleeptone &Website", websiteUrl()}, {menu::SupportForum, "Support &Forum", forumUrl()}};
    for (const auto& w : web) {
        QAction* a = item(help, w.number, w.label);
        if (w.url.isEmpty()) {
            a->setEnabled(false);
            a->setToolTip("No web address was configured when this copy of Bleeptone was built.");
        } else {
            a->setToolTip(w.url);
        }
    }

    // The application menu's two entries: Qt moves them there where the
    // platform has one; elsewhere they stay at the ends of File and Help.
    file->addSeparator();
    quitItem_ = file->addAction("&Quit");
    quitItem_->setMenuRole(QAction::QuitRole);
    quitItem_->setShortcut(standardKey(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    connect(quitItem_, &QAction::triggered, this, [this] { emitEvent(AppEvent::menu(menu::Quit)); });
    help->addSeparator();
    aboutItem_ = help->addAction("&About Bleeptone");
    aboutItem_->setMenuRole(QAction::AboutRole);
    connect(aboutItem_, &QAction::triggered, this, [this] { emitEvent(AppEvent::menu(menu::About)); });

    for (const int n : contentGroup().menuItems) menuItem(n)->setEnabled(false);
}

void MainWindow::setRecentFiles(const QStringList& paths) {
    recentMenu_->clear();
    for (int i = 0; i < paths.size(); ++i) {
        QAction* a = recentMenu_->addAction(QString("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(paths[i]).fileName()));
        a->setToolTip(paths[i]);
        a->setStatusTip(paths[i]);
        connect(a, &QAction::triggered, this, [this, i] {
            AppEvent e = AppEvent::menu(menu::OpenRecent);
            e.data = i;
            emitEvent(e);
        });
    }
    recentMenu_->setToolTipsVisible(true);
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction("Clear Menu");
    clear->setEnabled(!paths.isEmpty());
    connect(clear, &QAction::triggered, this, [this] { emitEvent(AppEvent::menu(menu::ClearRecent)); });
    menuItems_[menu::ClearRecent] = clear;
}

void MainWindow::setMidiPorts(const QList<MidiPort>& ports, const QString& chosen) {
    midiMenu_->clear();
    auto* group = new QActionGroup(midiMenu_);
    const auto add = [&](const QString& label, int index, bool checked) {
        QAction* a = midiMenu_->addAction(label);
        a->setCheckable(true);
        a->setChecked(checked);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, index] {
            AppEvent e = AppEvent::menu(menu::MidiInput);
            e.data = index;
            emitEvent(e);
        });
    };
    add("&None", -1, chosen.isEmpty());
    midiMenu_->addSeparator();
    bool shown = chosen.isEmpty();
    for (int i = 0; i < ports.size(); ++i) {
        add(QString(ports[i].label).replace('&', "&&"), i, ports[i].key == chosen);
        shown = shown || ports[i].key == chosen;
    }
    if (!shown) {
        // The remembered keyboard is unplugged: listened to again once it is back.
        QAction* away = midiMenu_->addAction(QString(chosen).section(':', 1).replace('&', "&&") + " (not connected)");
        away->setCheckable(true);
        away->setChecked(true);
        away->setEnabled(false);
        group->addAction(away);
    }
    if (ports.isEmpty()) midiMenu_->addAction("No MIDI keyboard found")->setEnabled(false);
}

void MainWindow::enableEditItems(bool asTheFieldAllows) {
    // Undo and Redo follow the document's history, not the field.
    QWidget* w = focusWidget();
    bool selection = true, paste = true, any = true;
    if (asTheFieldAllows) {
        if (QPlainTextEdit* e = focusedEditor(w)) {
            selection = e->textCursor().hasSelection();
            paste = e->canPaste();
        } else if (QLineEdit* l = focusedLine(w)) {
            selection = l->hasSelectedText();
        } else {
            selection = paste = any = false;
        }
    }
    menuItem(menu::Cut)->setEnabled(selection);
    menuItem(menu::Copy)->setEnabled(selection);
    menuItem(menu::Paste)->setEnabled(paste);
    menuItem(menu::SelectAll)->setEnabled(any);
}

void MainWindow::editFocusedField(int item) {
    // The editors and the one-line fields answer to the same six commands.
    const auto edit = [item](auto* field) {
        switch (item) {
            case menu::Undo: field->undo(); break;
            case menu::Redo: field->redo(); break;
            case menu::Cut: field->cut(); break;
            case menu::Copy: field->copy(); break;
            case menu::Paste: field->paste(); break;
            case menu::SelectAll: field->selectAll(); break;
        }
    };
    QWidget* w = focusWidget();
    if (QPlainTextEdit* e = focusedEditor(w)) edit(e);
    else if (QLineEdit* l = focusedLine(w)) edit(l);
}

}  // namespace bleeptone
