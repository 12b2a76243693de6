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
};

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void error(const QString& text) override;
    void information(const QString& text) override;
    bool question(const QString& text) override;

private:
    QWidget* parent_;
};

}  // namespace bleeptone
