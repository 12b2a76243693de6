#pragma once
// The tune checks' findings in one channel editor: a wavy underline under
// the characters of each, which leaves the text's MML colours as they are,
// and the finding's message as the tooltip there. The marks follow the text
// as it is edited until the next findings replace them.

#include <QObject>
#include <QTextCharFormat>
#include <QTextCursor>

#include <vector>

#include "song/tune_checks.h"

class QPlainTextEdit;

namespace bleeptone {

class ProblemMarks : public QObject {
    Q_OBJECT
public:
    ProblemMarks(QPlainTextEdit* editor, int channel);

    // Marks the findings of this editor's channel (those in its verses).
    void setFindings(const TuneFindings& findings);

    struct Mark {
        TuneFinding finding;
        QTextCursor cursor;  // its characters, moved along by edits since
    };
    const std::vector<Mark>& marks() const { return marks_; }
    // The mark holding a position of the editor's text (the caret), or
    // standing at it, for one that marks no characters; nullptr when none.
    const Mark* markAt(int position) const;
    // The messages of every mark at the position, one a line (the tooltip).
    QString messagesAt(int position) const;

    // Only the underline: style and colour.
    static QTextCharFormat underlineFormat();
    static const QColor kUnderlineColour;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* editor_;
    int channel_;
    std::vector<Mark> marks_;
};

}  // namespace bleeptone
