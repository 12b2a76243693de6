#pragma once
// Message boxes and file panels. The program uses Qt's; tests script their own.

#include <QString>

class QWidget;

namespace bleeptone {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // "Error" box with an OK button.
    virtual void error(const QString& text) = 0;
    // Box with an empty title and an OK button.
    virtual void information(const QString& text) = 0;
    // Box with an empty title and Yes / No buttons; true for Yes.
    virtual bool question(const QString& text) = 0;

    enum class PanelMode { Open, Save };
    // A modal file panel opening in the user's home folder, offering files
    // of the given types (extensions without the dot, "|" between several).
    // Returns the chosen path, or an empty text when cancelled (also what a
    // Dialogs without panels answers).
    virtual QString filePanel(PanelMode, const QString& /*title*/, const QString& /*types*/,
                              const QString& /*message*/) {
        return {};
    }
};

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void error(const QString& text) override;
    void information(const QString& text) override;
    bool question(const QString& text) override;
    QString filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message) override;

private:
    QWidget* parent_;
};

}  // namespace bleeptone
