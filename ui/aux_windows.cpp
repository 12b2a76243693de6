#include "ui/aux_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFontMetricsF>
#include <QScreen>
#include <QShortcut>
#include <QTextEdit>

#include "ui/rtf_reader.h"

static void initUiResources() { Q_INIT_RESOURCE(ui); }

namespace bleeptone {

namespace {

QByteArray resource(const char* path) {
    static const bool registered = (initUiResources(), true);
    (void)registered;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QColor kDocumentBackground(255, 255, 235);

}  // namespace

QByteArray helpDocument() { return resource(":/docs/help.rtf"); }
QByteArray moduleDocument() { return resource(":/docs/module.rtf"); }
QImage waveformStrip() { return QImage::fromData(resource(":/images/waveforms.png"), "PNG"); }
QImage emblemImage() { return QImage::fromData(resource(":/images/emblem.png"), "PNG"); }

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setColour(QColor(0, 0, 255));
}

// The link keeps its place and size; where the desktop's font is wider than
// the one it was laid out for, its text is set smaller until it fits.
void LinkLabel::fitTextToWidth() {
    QFont f = font();
    for (qreal size = f.pointSizeF(); size > 6 && QFontMetricsF(f).horizontalAdvance(text()) > width() - 2; size -= 0.5)
        f.setPointSizeF(size - 0.5);
    setFont(f);
}

void LinkLabel::setColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    setColour(QColor(255, 0, 0));
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    setColour(QColor(0, 0, 255));
    QLabel::leaveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint())) emit clicked();
}

AuxWindow::AuxWindow(int number, QWidget* parent) : QWidget(parent, Qt::Window), number_(number) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
}

void AuxWindow::closeEvent(QCloseEvent* event) {
    // The loop decides; it closes this window in answer.
    event->ignore();
    if (onCloseRequest) onCloseRequest(number_);
}

DocumentWindow::DocumentWindow(int number, const QByteArray& rtf, QAction* playItem, QWidget* parent)
    : AuxWindow(number, parent) {
    const bool module = number == window::PsgModule;
    setWindowTitle(module ? "Bleeptone - PSG Module" : "Bleeptone Help");
    editor_ = new DocumentView(playItem, this);
    editor_->setReadOnly(true);
    editor_->setLineWrapMode(QTextEdit::WidgetWidth);
    QPalette p = editor_->palette();
    p.setColor(QPalette::Base, kDocumentBackground);
    editor_->setPalette(p);
    if (module) {
        editor_->setGeometry(10, 35, 1004, 655);
        link_ = new LinkLabel("Click to copy the PSG Module to the clipboard.", this);
        link_->setGeometry(377, 10, 270, 20);
        link_->fitTextToWidth();
    } else {
        editor_->setGeometry(10, 10, 1004, 680);
    }
    loaded_ = readRtf(rtf, *editor_->document());
    editor_->moveCursor(QTextCursor::Start);
    resize(1024, 700);
}

void DocumentWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (link_) {
        editor_->resize(width() - 20, height() - 45);
        link_->move((width() - 270) / 2, link_->y());
    } else {
        editor_->resize(width() - 20, height() - 20);
    }
}

AboutWindow::AboutWindow(const AboutInfo& info, QWidget* parent) : AuxWindow(window::About, parent) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString());
    setFixedSize(360, 170);
    auto* emblem = new QLabel(this);
    QPixmap pixmap = QPixmap::fromImage(emblemImage());
    pixmap.setDevicePixelRatio(2.0);  // 256 x 256 pixels shown at 128 x 128
    emblem->setPixmap(pixmap);
    emblem->setScaledContents(true);
    emblem->setGeometry(31, 16, 128, 128);
    labels_[0] = emblem;
    const struct {
        QRect rect;
        QString text;
    } lines[] = {
        {{180, 25, 140, 20}, "Bleeptone " + info.version},
        {{160, 52, 180, 20}, "Made by the Bleeptone team"},
        {{180, 72, 140, 20}, "with MML at heart"},
        // The maker's address when this copy was built with one; else the licence.
        {{180, 98, 140, 20}, info.address.isEmpty() ? QString("MIT License") : info.address},
        {{180, 125, 140, 20}, "(c) 2026, share freely"},
    };
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(lines[i].text, this);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(lines[i].rect);
        labels_[i + 1] = label;
    }
}

QLabel* AboutWindow::label(int control) const {
    return control >= control::AboutEmblem && control < control::AboutEmblem + control::AboutLabelCount
               ? labels_[control - control::AboutEmblem]
               : nullptr;
}

AuxWindows::~AuxWindows() {
    delete help_;
    delete module_;
    delete about_;
}

void AuxWindows::place(AuxWindow* w, QWidget* over) {
    w->onCloseRequest = closeRequest_;
    QWidget* anchor = QApplication::activeWindow() ? QApplication::activeWindow() : over;
    const QRect area = anchor ? anchor->frameGeometry()
                              : (QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry() : QRect());
    if (area.isValid()) w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    w->show();
    w->raise();
}

void AuxWindows::openHelp(QWidget* over) {
    delete help_;
    help_ = new DocumentWindow(window::Help, helpDocument(), playItem_);
    place(help_, over);
}

void AuxWindows::openModule(QWidget* over) {
    delete module_;
    module_ = new DocumentWindow(window::PsgModule, moduleDocument(), playItem_);
    QObject::connect(module_->link(), &LinkLabel::clicked, module_, [this] {
        if (linkClicked_) linkClicked_();
    });
    place(module_, over);
}

void AuxWindows::openAbout(QWidget* over) {
    delete about_;
    about_ = new AboutWindow(aboutInfo_);
    place(about_, over);
}

void AuxWindows::close(int window) {
    if (window == window::Help) delete help_;
    else if (window == window::PsgModule) delete module_;
    else delete about_;
}

}  // namespace bleeptone
