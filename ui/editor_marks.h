#pragma once
// Marks drawn over a text editor's text without changing it: the playhead
// and the tune checks' problems, each kind a layer of its own. Together they
// are the editor's extra selections, which it draws as it paints, over the
// text and its colours; setting one layer leaves the others as they are.

#include <QList>
#include <QObject>
#include <QTextEdit>

#include <array>

class QPlainTextEdit;

namespace bleeptone {

class EditorMarks : public QObject {
    Q_OBJECT
public:
    // In drawing order: a later layer draws over an earlier one.
    enum Layer { Playhead, Problems, kLayers };

    // The editor's marks, made on first use (a child of the editor).
    static EditorMarks& of(QPlainTextEdit* editor);

    void set(Layer layer, const QList<QTextEdit::ExtraSelection>& marks);
    const QList<QTextEdit::ExtraSelection>& marks(Layer layer) const { return layers_[layer]; }

private:
    explicit EditorMarks(QPlainTextEdit* editor);
    QPlainTextEdit* editor_;
    std::array<QList<QTextEdit::ExtraSelection>, kLayers> layers_;
};

}  // namespace bleeptone
