#pragma once
// Message boxes and file panels. The program uses Qt's; tests script their own.

#include <QString>
#include <QStringList>

#include <optional>

#include "export/export_choices.h"

class QWidget;

namespace bleeptone {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // "Error" box with an OK button.
    virtual void error(const QString& text) = 0;
    // Box with an empty title and an OK button.
    virtual void information(const QString& text) = 0;
    // Box with an empty title and Yes / No buttons, No the default (Return
    // never throws work away); Escape means No. True for Yes.
    virtual bool question(const QString& text) = 0;

    enum class Answer { Yes, No, Cancel };
    // Box with an empty title and Yes / No / Cancel buttons; Escape and
    // closing the box mean Cancel.
    virtual Answer questionWithCancel(const QString& text) = 0;

    enum class PanelMode { Open, Save };
    // A modal file panel starting at start (a folder ending in "/", or a
    // folder and a proposed file name; empty: the home folder), offering
    // files whose extension is exactly one of types (without the dot, "|"
    // between several; letter case counts). Returns the chosen path, or an
    // empty text when cancelled.
    virtual QString filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message,
                              const QString& start) = 0;

    // The Export Audio choices box, filled in with the remembered choices;
    // the passes apply only to a song that loops. Nothing when cancelled.
    virtual std::optional<ExportChoices> exportChoices(const ExportChoices& remembered, bool songLoops) = 0;

    // A box titled title that asks label, with a list of items, the current
    // one shown first; the index chosen, nothing when cancelled.
    virtual std::optional<int> choice(const QString& title, const QString& label, const QStringList& items,
                                      int current) = 0;
};

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void error(const QString& text) override;
    void information(const QString& text) override;
    bool question(const QString& text) override;
    Answer questionWithCancel(const QString& text) override;
    QString filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message,
                      const QString& start) override;
    std::optional<ExportChoices> exportChoices(const ExportChoices& remembered, bool songLoops) override;
    std::optional<int> choice(const QString& title, const QString& label, const QStringList& items,
                              int current) override;

private:
    QWidget* boxParent() const;
    QWidget* parent_;
};

}  // namespace bleeptone
