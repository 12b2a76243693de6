#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "app/window_layout.h"
#include "project/project_file.h"
#include "ui/arrow_spin_box.h"
#include "ui/image_view.h"
#include "ui/mml_colouring.h"
#include "ui/text_editor.h"

#ifndef BLEEPTONE_WEBSITE_URL
#define BLEEPTONE_WEBSITE_URL ""
#endif
#ifndef BLEEPTONE_FORUM_URL
#define BLEEPTONE_FORUM_URL ""
#endif

namespace bleeptone {

namespace {

// The content area: controls sit at fixed positions that the layout rule
// moves on every size change.
class ClientArea : public QWidget {
public:
    explicit ClientArea(MainWindow* window) : QWidget(window), window_(window) {}

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        window_->layoutControls();
    }

private:
    MainWindow* window_;
};

const QColor kEditorBackground(230, 235, 245);
const QColor kProjectInfoBackground(255, 255, 235);

void setBackground(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
}

// Menlo where the system has it, the system's fixed-width font otherwise, at
// 14.6 points as the design counts them (one point per logical pixel), so
// that the editors show the same amount of text on every screen.
QFont editorFont(const QWidget* w) {
    QFont font = QFontDatabase::families().contains("Menlo") ? QFont("Menlo")
                                                              : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(14.6 * 72.0 / w->logicalDpiY());
    return font;
}

}  // namespace

QString MainWindow::websiteUrl() { return QStringLiteral(BLEEPTONE_WEBSITE_URL); }
QString MainWindow::forumUrl() { return QStringLiteral(BLEEPTONE_FORUM_URL); }

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setCentralWidget(new ClientArea(this));
    centralWidget()->setMinimumSize(kClientWidth, kClientHeight);
    setDocumentTitle("Bleeptone", false);
    playContextItem_ = new QAction("Play", this);
    playContextItem_->setVisible(false);
    connect(playContextItem_, &QAction::triggered, this,
            [this] { emitEvent(AppEvent::control(control::PlayButton)); });
    // The channel editors also offer to play from where the menu was opened.
    playFromHereItem_ = new QAction("Play from Here", this);
    playFromHereItem_->setVisible(false);
    connect(playContextItem_, &QAction::visibleChanged, this,
            [this] { playFromHereItem_->setVisible(playContextItem_->isVisible()); });
    connect(playFromHereItem_, &QAction::triggered, this, [this] { emitEvent(AppEvent::menu(menu::PlayFromHere)); });
    buildMenus();
    buildControls();
    resize(kClientWidth, kClientHeight + (menuBar()->isNativeMenuBar() ? 0 : menuBar()->sizeHint().height()));
    layoutControls();
}

void MainWindow::setDocumentTitle(const QString& title, bool edited) {
    title_ = title;
    // Qt shows the edited mark at a "[*]" placeholder: put it where the
    // title's own "*" stands (before " - Bleeptone"), so the mark is that
    // star. "[*][*]" keeps a literal "[*]" of a file name.
    auto escaped = [](QString s) { return s.replace("[*]", "[*][*]"); };
    const qsizetype star = title.lastIndexOf("* - Bleeptone");
    QString shown;
    if (!edited) shown = escaped(title);
    else if (star >= 0) shown = escaped(title.left(star)) + "[*]" + escaped(title.mid(star + 1));
    else shown = escaped(title) + "[*]";
    setWindowTitle(shown);
    setWindowModified(edited);
}

void MainWindow::dropUnfocusedSelections() {
    const int focused = controls_.focused();
    // Play and Stop (reached with the keyboard) keep the passage selected, so
    // that it plays again.
    if (focused == control::PlayButton || focused == control::StopButton) return;
    for (int c = 1; c <= 4; ++c) {
        const int n = control::channelEditor(c);
        if (n == focused || controls_.selection(n) == std::pair<int, int>{0, 0}) continue;
        // Keep what the editor shows: only the selection changes.
        auto* editor = static_cast<QPlainTextEdit*>(controls_.widget(n));
        const int h = editor->horizontalScrollBar()->value(), v = editor->verticalScrollBar()->value();
        controls_.setSelection(n, 0, 0);
        editor->horizontalScrollBar()->setValue(h);
        editor->verticalScrollBar()->setValue(v);
    }
}

void MainWindow::colourAllEditors() {
    const ControlTable::ProgramChange guard(controls_);
    for (int c = 1; c <= 4; ++c) colouring_[static_cast<std::size_t>(c)]->colourAll();
}

QAction* MainWindow::menuItem(int n) const {
    if (n == menu::About) return aboutItem_;
    if (n == menu::Quit) return quitItem_;
    return n >= 0 && n < menu::Count ? menuItems_[static_cast<std::size_t>(n)] : nullptr;
}

void MainWindow::buildControls() {
    setAcceptDrops(true);
    for (const ControlSpec& spec : mainWindowControls()) {
        QWidget* w = makeControl(spec);
        w->setGeometry(spec.geometry);
        controls_.add(spec.number, spec.kind, w);
        // Fields and editors take drops themselves: a project dropped there opens too.
        if (auto* editor = qobject_cast<QPlainTextEdit*>(w)) editor->viewport()->installEventFilter(this);
        else if (w->acceptDrops()) w->installEventFilter(this);
        if (auto* box = qobject_cast<QSpinBox*>(w)) box->findChild<QLineEdit*>()->installEventFilter(this);
    }
    controls_.setVisible(control::StopButton, false);
    controls_.setEnabled(control::PlayButton, false);
    controls_.setEnabled(control::CopyMmlButton, false);
}

QWidget* MainWindow::makeControl(const ControlSpec& spec) {
    QWidget* parent = centralWidget();
    const int n = spec.number;
    switch (spec.kind) {
        case ControlKind::Label: return new QLabel(spec.caption, parent);
        case ControlKind::Frame: return new QGroupBox(spec.caption, parent);
        case ControlKind::ListBox: {
            auto* box = new QComboBox(parent);
            box->addItems(spec.items);
            box->setCurrentIndex(spec.state);
            // Chosen with the mouse, the keys or the wheel, or undone.
            connect(box, &QComboBox::currentIndexChanged, this, [this, n] {
                if (!controls_.settingByProgram()) userChange(n);
            });
            return box;
        }
        case ControlKind::SpinBox: {
            auto* box = new ArrowSpinBox(parent);
            box->setRange(spec.minimum, spec.maximum);
            box->setValue(spec.state);
            box->setWrapping(false);
            connect(box, &ArrowSpinBox::arrowStepped, this, [this, n](bool up) {
                emitEvent(AppEvent::control(n, up ? ControlEventType::Up : ControlEventType::Down));
            });
            // Every change of the value that the program did not make is the
            // user's: typing, arrows, the wheel, undo.
            connect(box, &QSpinBox::valueChanged, this, [this, n] {
                if (!controls_.settingByProgram()) userChange(n);
            });
            return box;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(spec.caption, parent);  // no change events
            box->installEventFilter(this);                     // Ctrl+click solos
            return box;
        }
        case ControlKind::TextField: {
            auto* field = new QLineEdit(spec.caption, parent);
            if (control::rowOfPatternField(n) != 0)
                setBackground(field, kEditorBackground);
            connect(field, &QLineEdit::textChanged, this, [this, n] {
                if (!controls_.settingByProgram()) userChange(n);
            });
            return field;
        }
        case ControlKind::Editor: {
            auto* editor = n == control::ProjectInfo ? new TextEditor(playContextItem_, parent)
                                                     : new MmlEditor(playContextItem_, parent);
            if (n == control::ProjectInfo) {
                editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                setBackground(editor, kProjectInfoBackground);
            } else {
                editor->setLineWrapMode(QPlainTextEdit::NoWrap);
                editor->setTabChangesFocus(true);  // MML has no use for a tab: Tab leaves the editor
                editor->addContextItem(playFromHereItem_);
                editor->setFont(editorFont(this));
                setBackground(editor, kEditorBackground);
                colouring_[static_cast<std::size_t>(control::channelOfEditor(n))] =
                    new MmlEditorColouring(editor);
            }
            connect(editor, &QPlainTextEdit::textChanged, this, [this, n] {
                if (controls_.settingByProgram()) return;
                if (n != control::ProjectInfo) {
                    // What the user typed is checked at once: characters MML
                    // has no use for become "?" in the same undo step.
                    const ControlTable::ProgramChange guard(controls_);
                    colouring_[static_cast<std::size_t>(control::channelOfEditor(n))]->afterUserEdit();
                }
                userChange(n);
            });
            editor->installEventFilter(this);
            return editor;
        }
        case ControlKind::ImageView: return new ImageView(parent);
        case ControlKind::Button:
        case ControlKind::IconButton: {
            auto* button = new QPushButton(spec.caption, parent);
            // A click leaves the focus (and the selection) in the editor the
            // user works in; the keyboard still reaches the buttons with Tab.
            button->setFocusPolicy(Qt::TabFocus);
            if (spec.kind == ControlKind::IconButton) {
                button->setIcon(QIcon(n == control::CopyMmlButton ? ":/icons/copy_mml.png" : ":/icons/paste_mml.png"));
                button->setIconSize(QSize(15, 16));
                button->setToolTip(spec.tooltip);
            }
            if (n == control::PlayButton) button->setToolTip("Play the song, or the selected passage (F5)");
            if (n == control::StopButton) button->setToolTip("Stop (Esc or F5)");
            connect(button, &QPushButton::clicked, this, [this, n] { emitEvent(AppEvent::control(n)); });
            return button;
        }
    }
    return new QWidget(parent);
}

void MainWindow::layoutControls() {
    if (!controls_.widget(control::ProjectInfo)) return;  // not built yet
    ControlGeometry g{};
    for (int n = 0; n < control::Count; ++n) g[static_cast<std::size_t>(n)] = controls_.geometry(n);
    applyLayoutRule(g, centralWidget()->width(), centralWidget()->height());
    for (int n = 0; n < control::Count; ++n) controls_.setGeometry(n, g[static_cast<std::size_t>(n)]);
    // The notice takes the free space left of the centred group of the top row.
    if (outputNotice_) {
        const int width = g[static_cast<std::size_t>(control::MeasureLabel)].x() - 20;
        outputNotice_->setGeometry(10, 13, std::max(0, width), 20);
    }
}

void MainWindow::setOutputNotice(const QString& text) {
    if (!outputNotice_) {
        if (text.isEmpty()) return;
        outputNotice_ = new QLabel(centralWidget());
        layoutControls();
    }
    outputNotice_->setText(text);
    outputNotice_->setToolTip(text);
    outputNotice_->setVisible(!text.isEmpty());
}

QString MainWindow::outputNotice() const { return outputNotice_ ? outputNotice_->text() : QString(); }

void MainWindow::emitEvent(const AppEvent& event) {
    if (sink_) sink_(event);
}

void MainWindow::userChange(int number) { emitEvent(AppEvent::control(number, ControlEventType::Change)); }

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing is a request: the loop decides (and may ask to save first).
    event->ignore();
    emitEvent(AppEvent::close(window::Main));
}

namespace {

// The project files among dropped things: local files whose extension is
// exactly "mmlp" (what Open accepts).
QStringList droppedProjects(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && hasProjectExtension(url.toLocalFile())) paths << url.toLocalFile();
    return paths;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedProjects(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = droppedProjects(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    // As a file the desktop asks to open: through Open, question included.
    if (openRequest_) openRequest_(paths.join('\t'));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A project dropped on a field or an editor opens, as anywhere on the
    // window; other drops (text) go to the field.
    const auto type = event->type();
    if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
        !droppedProjects(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
        if (type == QEvent::Drop) dropEvent(static_cast<QDropEvent*>(event));
        else static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int n = controls_.numberOf(qobject_cast<QWidget*>(watched));
        if (control::isMuteBox(n) && mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier)) {
            if (type == QEvent::MouseButtonPress) toggleSolo(control::channelOf(n));
            return true;
        }
    }
    if (type == QEvent::ContextMenu && qobject_cast<QLineEdit*>(watched) &&
        controls_.kind(controls_.numberOf(static_cast<QWidget*>(watched))) == ControlKind::TextField) {
        fieldContextMenu(static_cast<QLineEdit*>(watched), static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (type == QEvent::FocusIn && qobject_cast<QPlainTextEdit*>(watched)) {  // an editor got the focus
        const int n = controls_.numberOf(qobject_cast<QWidget*>(watched));
        if (n >= 0) emitEvent(AppEvent::control(n, ControlEventType::Focus));
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::fieldContextMenu(QLineEdit* field, QPoint globalPos) {
    // The field's menu, with the Edit menu's Undo and Redo (the document's
    // history) in place of the field's own.
    std::unique_ptr<QMenu> m(field->createStandardContextMenu());
    for (QAction* a : m->actions()) {
        QAction* replacement = a->objectName() == "edit-undo"   ? menuItem(menu::Undo)
                               : a->objectName() == "edit-redo" ? menuItem(menu::Redo)
                                                                : nullptr;
        if (!replacement) continue;
        m->insertAction(a, replacement);
        m->removeAction(a);
    }
    m->exec(globalPos);
}

void MainWindow::toggleSolo(int channel) {
    std::array<int, 4> mutes{};
    for (int c = 1; c <= 4; ++c) mutes[static_cast<std::size_t>(c - 1)] = controls_.state(control::muteBox(c));
    std::array<int, 4> solo{1, 1, 1, 1};
    solo[static_cast<std::size_t>(channel - 1)] = 0;
    // Again on the channel that is soloed: the mutes from before come back.
    const bool unsolo = mutesBeforeSolo_ && mutes == solo;
    if (!unsolo && !mutesBeforeSolo_) mutesBeforeSolo_ = mutes;
    const std::array<int, 4> next = unsolo ? *mutesBeforeSolo_ : solo;
    if (unsolo) mutesBeforeSolo_.reset();
    if (next == mutes) return;
    // The user's own change of the Mute boxes (what plays follows it), one
    // step of the undo history.
    emit userActionStarted("Solo");
    for (int c = 1; c <= 4; ++c)
        static_cast<QCheckBox*>(controls_.widget(control::muteBox(c)))
            ->setChecked(next[static_cast<std::size_t>(c - 1)]);
    emit userActionFinished();
}

}  // namespace bleeptone
