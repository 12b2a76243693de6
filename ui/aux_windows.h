#pragma once
// The Help window (2), the PSG Module window (3) with its copy link, and the
// About window (1). Each opens afresh and replaces one that is open; a close
// request goes to the program's loop, which then closes just that window.

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <functional>

#include "ui/text_editor.h"
#include "ui/window_numbers.h"

class QAction;

namespace bleeptone {

// "Click to copy the PSG Module to the clipboard.": underlined blue text
// that turns red while the pointer is over it.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
    void fitTextToWidth();

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setColour(const QColor& colour);
};

// A secondary window that asks instead of closing; Escape and Ctrl+W ask too.
class AuxWindow : public QWidget {
    Q_OBJECT
public:
    AuxWindow(int number, QWidget* parent = nullptr);
    int number() const { return number_; }
    std::function<void(int window)> onCloseRequest;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int number_;
};

class DocumentWindow : public AuxWindow {
    Q_OBJECT
public:
    // window::Help or window::PsgModule; playItem: the editors' "Play" context item.
    DocumentWindow(int number, const QByteArray& rtf, QAction* playItem, QWidget* parent = nullptr);
    DocumentView* editor() const { return editor_; }
    LinkLabel* link() const { return link_; }  // PSG Module window only
    bool documentLoaded() const { return loaded_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DocumentView* editor_;
    LinkLabel* link_ = nullptr;
    bool loaded_ = false;
};

// What the About window says of this copy of the program.
struct AboutInfo {
    QString version;  // "0.1.0"
    QString address;  // the maker's web address; empty when none was configured
};

class AboutWindow : public AuxWindow {
    Q_OBJECT
public:
    explicit AboutWindow(const AboutInfo& info, QWidget* parent = nullptr);
    QLabel* label(int control) const;  // control::AboutEmblem and the five labels after it

private:
    QLabel* labels_[control::AboutLabelCount] = {};
};

// The embedded documents and images.
QByteArray helpDocument();
QByteArray moduleDocument();
QImage waveformStrip();
QImage emblemImage();

// Opens, replaces and closes the three windows.
class AuxWindows {
public:
    // close: where a window's close request goes (the loop); link: the copy
    // link's click; playItem: the "Play" item of every editor's context menu.
    AuxWindows(std::function<void(int window)> closeRequest, std::function<void()> linkClicked, AboutInfo about,
               QAction* playItem)
        : closeRequest_(std::move(closeRequest)),
          linkClicked_(std::move(linkClicked)),
          aboutInfo_(std::move(about)),
          playItem_(playItem) {}
    ~AuxWindows();
    void openHelp(QWidget* over);
    void openModule(QWidget* over);
    void openAbout(QWidget* over);
    void close(int window);
    DocumentWindow* help() const { return help_; }
    DocumentWindow* module() const { return module_; }
    AboutWindow* about() const { return about_; }

private:
    void place(AuxWindow* w, QWidget* over);
    std::function<void(int)> closeRequest_;
    std::function<void()> linkClicked_;
    AboutInfo aboutInfo_;
    QAction* playItem_;
    QPointer<DocumentWindow> help_, module_;
    QPointer<AboutWindow> about_;
};

}  // namespace bleeptone
