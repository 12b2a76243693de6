#include "ui/mml_colouring.h"

#include <QFontMetricsF>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace bleeptone {

QColor colourFromPacked(quint32 packed) {
    return QColor::fromRgbF(static_cast<float>(packed & 0xFF) / 255.0f, static_cast<float>((packed >> 8) & 0xFF) / 255.0f,
                            static_cast<float>((packed >> 16) & 0xFF) / 255.0f,
                            static_cast<float>((packed >> 24) & 0xFF) / 255.0f);
}

namespace {

// The window of columns a long verse was last coloured in.
struct ColouredWindow : QTextBlockUserData {
    ColouredWindow(int f, int l) : first(f), last(l) {}
    int first, last;
};

// Only printable ASCII: every character one column wide in a fixed-width font.
bool plainAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() >= 0x20 && ch.unicode() < 0x7F; });
}

int floorToGrid(int column) {
    const int g = MmlHighlighter::kWindowGrid;
    return (column >= 0 ? column : column - g + 1) / g * g;
}

enum Colour { Base, Command, Modifier, Number };

Colour colourOf(QChar ch) {
    switch (classifyMmlChar(ch.unicode())) {
        case MmlCharClass::Command: return Command;
        case MmlCharClass::Modifier: return Modifier;
        case MmlCharClass::Number: return Number;
        default: return Base;
    }
}

}  // namespace

MmlHighlighter::MmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    const QColor* colours[] = {&colours_.base, &colours_.command, &colours_.modifier, &colours_.number};
    for (std::size_t i = 0; i < formats_.size(); ++i) formats_[i].setForeground(*colours[i]);
}

MmlHighlighter::MmlHighlighter(QPlainTextEdit* editor) : MmlHighlighter(editor->document()) {
    editor_ = editor;
    connect(editor->horizontalScrollBar(), &QScrollBar::valueChanged, this, &MmlHighlighter::followView);
    connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this, &MmlHighlighter::followView);
    editor->viewport()->installEventFilter(this);
}

std::pair<int, int> MmlHighlighter::colouredColumns(const QTextBlock& block) {
    if (const auto* window = dynamic_cast<const ColouredWindow*>(block.userData())) return {window->first, window->last};
    return {0, std::max(block.length() - 1, 0)};
}

std::optional<std::pair<int, int>> MmlHighlighter::shownColumns() const {
    if (!editor_ || editor_->lineWrapMode() != QPlainTextEdit::NoWrap) return std::nullopt;
    const QTextDocument* doc = editor_->document();
    const QFontMetricsF metrics(doc->defaultFont());
    const qreal width = metrics.horizontalAdvance(QLatin1Char('0'));
    if (width <= 0 || metrics.horizontalAdvance(QLatin1Char('i')) != width ||
        metrics.horizontalAdvance(QLatin1Char('W')) != width)
        return std::nullopt;  // not a fixed-width font
    const qreal left = editor_->horizontalScrollBar()->value() - doc->documentMargin();
    const qreal right = left + editor_->viewport()->width();
    return std::pair{static_cast<int>(std::floor(left / width)), static_cast<int>(std::ceil(right / width))};
}

void MmlHighlighter::highlightBlock(const QString& text) {
    const int size = static_cast<int>(text.size());
    int first = 0, last = size;
    std::optional<std::pair<int, int>> shown;
    if (size > kWholeVerseLimit && plainAscii(text)) shown = shownColumns();
    if (shown) {
        first = std::clamp(floorToGrid(shown->first - kWindowMargin), 0, size);
        last = std::clamp(floorToGrid(shown->second + kWindowMargin + kWindowGrid - 1), first, size);
    }
    setCurrentBlockUserData(shown ? new ColouredWindow(first, last) : nullptr);

    if (first > 0) setFormat(0, first, formats_[Base]);
    // One format call per run of equal colour.
    int runStart = first;
    Colour runColour = Base;
    for (int i = first; i < last; ++i) {
        const Colour colour = colourOf(text[i]);
        if (i > runStart && colour != runColour) {
            setFormat(runStart, i - runStart, formats_[runColour]);
            runStart = i;
        }
        runColour = colour;
    }
    if (last > runStart) setFormat(runStart, last - runStart, formats_[runColour]);
    if (last < size) setFormat(last, size - last, formats_[Base]);

    // A long verse, and the verse being typed in with its neighbours (which
    // the editor repaints with it), keep their shaped glyphs: the caret, the
    // drawing and the layout then shape a verse once per keystroke, not each
    // of them (every colour run is a piece of text of its own to shape).
    const QTextBlock block = currentBlock();
    if (shown) block.layout()->setCacheEnabled(true);
    if (editor_ && editor_->textCursor().block() == block)
        for (const QTextBlock& b : {block.previous(), block, block.next()})
            if (b.isValid()) b.layout()->setCacheEnabled(true);
}

bool MmlHighlighter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) followView();
    return QSyntaxHighlighter::eventFilter(watched, event);
}

void MmlHighlighter::followView() {
    if (following_ || !editor_) return;
    const std::optional<std::pair<int, int>> shown = shownColumns();
    if (!shown) return;
    following_ = true;
    const QTextBlock lastShown = editor_->cursorForPosition(QPoint(0, editor_->viewport()->height())).block();
    for (QTextBlock block = editor_->cursorForPosition(QPoint(0, 0)).block(); block.isValid(); block = block.next()) {
        const auto [first, last] = colouredColumns(block);
        const int end = block.length() - 1;
        if ((first > 0 && first > shown->first) || (last < end && last < shown->second)) rehighlightBlock(block);
        if (block == lastShown) break;
    }
    following_ = false;
}

void MmlDocumentLayout::documentChanged(int from, int removed, int added) {
    QTextDocument* doc = document();
    const bool sameCount = doc->blockCount() == blockCount_;
    blockCount_ = doc->blockCount();
    const QTextBlock block = doc->findBlock(from);
    const int end = block.position() + block.length();
    // Within one verse (with the number of verses unchanged, what was
    // removed stood in it too), but Qt's layout would take it for more (it
    // counts removed and added characters one after the other), or would
    // find the verse without lines (new colours drop them) and repaint
    // everything.
    if (sameCount && block.isValid() && from + added <= end &&
        (from + removed + added > end || block.layout()->lineCount() == 0)) {
        const int lines = block.lineCount();
        block.layout()->clearLayout();
        blockBoundingRect(block);  // lays the verse out
        if (block.lineCount() == lines) {
            emit updateBlock(block);
            return;
        }
    }
    QPlainTextDocumentLayout::documentChanged(from, removed, added);
}

QString sanitizeMml(const QString& text) {
    QString out = text;
    for (QChar& ch : out)
        if (ch != QChar::ParagraphSeparator && classifyMmlChar(ch.unicode()) == MmlCharClass::Invalid) ch = '?';
    return out;
}

bool replaceInvalidMml(QPlainTextEdit* editor, int from, int count, bool joinUndo) {
    QTextDocument* doc = editor->document();
    const int size = doc->characterCount() - 1;
    from = std::clamp(from, 0, size);
    const int to = std::clamp(from + count, from, size);
    QTextCursor cursor(doc);
    bool replaced = false;
    const QTextCursor selection = editor->textCursor();
    const int anchor = selection.anchor(), position = selection.position();
    for (int i = 0; i < to - from; ++i) {
        // Line breaks come back as paragraph separators: they are kept.
        const QChar ch = doc->characterAt(from + i);
        if (ch == QChar::ParagraphSeparator || classifyMmlChar(ch.unicode()) != MmlCharClass::Invalid) continue;
        if (!replaced) {
            if (joinUndo) cursor.joinPreviousEditBlock();
            else cursor.beginEditBlock();
            replaced = true;
        }
        cursor.setPosition(from + i);
        cursor.setPosition(from + i + 1, QTextCursor::KeepAnchor);
        cursor.insertText(QStringLiteral("?"));
    }
    if (replaced) {
        cursor.endEditBlock();
        // Every replacement keeps the length, so the old selection still fits.
        QTextCursor restored(doc);
        restored.setPosition(anchor);
        restored.setPosition(position, QTextCursor::KeepAnchor);
        editor->setTextCursor(restored);
    }
    return replaced;
}

MmlEditorColouring::MmlEditorColouring(QPlainTextEdit* editor) : QObject(editor), editor_(editor) {
    new MmlHighlighter(editor);
    connect(editor->document(), &QTextDocument::contentsChange, this, [this](int position, int, int added) {
        changedFrom_ = changedFrom_ < 0 ? position : std::min(changedFrom_, position);
        changedTo_ = std::max(changedTo_, position + added);
    });
}

bool MmlEditorColouring::afterUserEdit() {
    const int from = changedFrom_, to = changedTo_;
    changedFrom_ = changedTo_ = -1;
    if (from < 0 || to <= from) return false;
    const bool replaced = replaceInvalidMml(editor_, from, to - from, true);
    changedFrom_ = changedTo_ = -1;  // the replacement's own change
    return replaced;
}

void MmlEditorColouring::colourAll() {
    changedFrom_ = changedTo_ = -1;
    // The program's text came with a fresh undo history; the replacement must
    // not become a step the user could undo.
    if (replaceInvalidMml(editor_, 0, editor_->document()->characterCount(), false))
        editor_->document()->clearUndoRedoStacks();
    changedFrom_ = changedTo_ = -1;
}

}  // namespace bleeptone
