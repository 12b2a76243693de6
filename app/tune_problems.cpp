#include "app/tune_problems.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextBlock>

#include <algorithm>
#include <tuple>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "app/window_fields.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "ui/problem_marks.h"
#include "ui/problems_window.h"

namespace bleeptone {

namespace {

QPlainTextEdit* editorOf(MainWindow& window, int channel) {
    return static_cast<QPlainTextEdit*>(window.controls().widget(control::channelEditor(channel)));
}

using PlaceKey = std::tuple<int, int, int>;  // channel, verse (0: the pattern), column

}  // namespace

TuneProblems::TuneProblems(MainWindow& window, std::function<void(const AppEvent&)> post)
    : QObject(&window), window_(window), post_(std::move(post)) {
    timer_.setSingleShot(true);
    timer_.setInterval(SongCommands::kLiveEditDelayMs);  // as a live edit waits for the typing to pause
    connect(&timer_, &QTimer::timeout, this, &TuneProblems::runNow);

    // Whatever the checks read, changed by the user or the program. The
    // colouring's own format changes come this way too; a run that finds
    // the song as it was stops early.
    ControlTable& controls = window_.controls();
    for (int c = 1; c <= 4; ++c) {
        QPlainTextEdit* editor = editorOf(window_, c);
        marks_[static_cast<std::size_t>(c - 1)] = new ProblemMarks(editor, c);
        connect(editor->document(), &QTextDocument::contentsChange, this, &TuneProblems::schedule);
        if (auto* field = qobject_cast<QLineEdit*>(controls.widget(control::patternField(c))))
            connect(field, &QLineEdit::textChanged, this, &TuneProblems::schedule);
        if (auto* mute = qobject_cast<QCheckBox*>(controls.widget(control::muteBox(c))))
            connect(mute, &QCheckBox::toggled, this, &TuneProblems::schedule);
        for (int n : {control::octaveBox(c), control::volumeBox(c), control::decayBox(c)})
            if (auto* box = qobject_cast<QSpinBox*>(controls.widget(n)))
                connect(box, &QSpinBox::valueChanged, this, &TuneProblems::schedule);
        if (auto* box = qobject_cast<QComboBox*>(controls.widget(control::waveformBox(c))))
            connect(box, &QComboBox::currentIndexChanged, this, &TuneProblems::schedule);
    }
    if (auto* box = qobject_cast<QSpinBox*>(controls.widget(control::TempoBox)))
        connect(box, &QSpinBox::valueChanged, this, &TuneProblems::schedule);
    if (auto* box = qobject_cast<QComboBox*>(controls.widget(control::MeasureBox)))
        connect(box, &QComboBox::currentIndexChanged, this, &TuneProblems::schedule);
    schedule();
}

TuneProblems::~TuneProblems() { delete problemsWindow_; }

void TuneProblems::runNow() {
    timer_.stop();
    const WindowFields fields(window_.controls());
    const std::array<ChannelAssembly, 4> song = assembleSongWithMap(fields);
    // What the findings depend on: the texts that play, the patterns, the
    // number of verses, the measure.
    QStringList checked;
    for (int c = 1; c <= 4; ++c) {
        checked << song[static_cast<std::size_t>(c - 1)].text << fields.text(control::patternField(c))
                << QString::number(versesOf(fields.text(control::channelEditor(c))).size());
    }
    checked << QString::number(measureQuarters(fields));
    if (checked == checked_) return;
    checked_ = checked;

    TuneFindings findings = checkTune(fields, song, mapSong(song));
    for (ProblemMarks* m : marks_) m->setFindings(findings);
    // A pattern field holds no marks: its findings are its tooltip.
    for (int c = 1; c <= 4; ++c) {
        QStringList messages;
        for (const TuneFinding& f : findings)
            if (f.place.channel == c && f.place.verse == 0) messages << f.message;
        if (QWidget* field = window_.controls().widget(control::patternField(c)))
            field->setToolTip(messages.join('\n'));
    }
    if (findings == findings_) return;
    findings_ = std::move(findings);
    if (problemsWindow_) problemsWindow_->setFindings(findings_);
    emit changed();
}

QString TuneProblems::messageAt(int channel, int position) const {
    if (channel < 1 || channel > 4) return {};
    const ProblemMarks* m = marks_[static_cast<std::size_t>(channel - 1)];
    if (const QString all = m->messagesAt(position); !all.isEmpty()) return all;
    // The caret just after what a finding marks (as after typing it) is on it too.
    if (const QString all = m->messagesAt(position - 1); !all.isEmpty()) return all;
    const ProblemMarks::Mark* at = m->markAt(position);  // one that marks no characters
    return at ? at->finding.message : QString();
}

int TuneProblems::editorPosition(const TuneFinding& f) const {
    const ProblemMarks* m = marks_[static_cast<std::size_t>(f.place.channel - 1)];
    for (const ProblemMarks::Mark& mark : m->marks())
        if (mark.finding == f) return mark.cursor.selectionStart();
    // Not marked (a verse the editor no longer has): where its place is now.
    const QTextBlock line = editorOf(window_, f.place.channel)->document()->findBlockByNumber(f.place.verse - 1);
    return line.isValid() ? line.position() + std::min(f.place.column, line.length() - 1) : -1;
}

void TuneProblems::step(int direction) {
    if (findings_.empty()) return;
    // Where each finding stands now, and where the user is.
    const auto keyOf = [this](const TuneFinding& f) -> PlaceKey {
        if (f.place.verse == 0) return {f.place.channel, 0, f.place.column};
        const int position = editorPosition(f);
        const QTextBlock line = editorOf(window_, f.place.channel)->document()->findBlock(std::max(position, 0));
        return {f.place.channel, line.blockNumber() + 1, position - line.position()};
    };
    ControlTable& controls = window_.controls();
    const int focused = controls.focused();
    PlaceKey here = direction > 0 ? PlaceKey{0, 0, -1} : PlaceKey{5, 0, 0};
    if (const int c = control::channelOfEditor(focused)) {
        const int caret = controls.selection(focused).first;
        const QTextBlock line = editorOf(window_, c)->document()->findBlock(caret);
        here = {c, line.blockNumber() + 1, caret - line.position()};
    } else if (const int row = control::rowOfPatternField(focused)) {
        if (auto* field = qobject_cast<QLineEdit*>(controls.widget(focused))) here = {row, 0, field->cursorPosition()};
    }
    std::vector<std::pair<PlaceKey, std::size_t>> order;
    for (std::size_t i = 0; i < findings_.size(); ++i) order.emplace_back(keyOf(findings_[i]), i);
    std::stable_sort(order.begin(), order.end());
    std::size_t target = direction > 0 ? order.front().second : order.back().second;
    if (direction > 0) {
        const auto after = std::find_if(order.begin(), order.end(), [&](const auto& o) { return o.first > here; });
        if (after != order.end()) target = after->second;
    } else {
        const auto before = std::find_if(order.rbegin(), order.rend(), [&](const auto& o) { return o.first < here; });
        if (before != order.rend()) target = before->second;
    }
    goTo(target);
}

void TuneProblems::next() { step(+1); }
void TuneProblems::previous() { step(-1); }

void TuneProblems::goTo(std::size_t index) {
    if (index < findings_.size()) goTo(findings_[index]);
}

void TuneProblems::goTo(const TuneFinding& f) {
    ControlTable& controls = window_.controls();
    if (f.place.channel < 1 || f.place.channel > 4) return;
    if (f.place.verse == 0) {
        auto* field = qobject_cast<QLineEdit*>(controls.widget(control::patternField(f.place.channel)));
        if (!field) return;
        field->setFocus(Qt::OtherFocusReason);
        // The entry selected, the cursor at its start.
        field->setSelection(f.place.column + f.length, -f.length);
    } else {
        QPlainTextEdit* editor = editorOf(window_, f.place.channel);
        const int position = editorPosition(f);
        if (position < 0) return;
        // The window's own focus first: the info-bar step keeps the caret of
        // the editor that has it, even before the window is in front.
        editor->setFocus(Qt::OtherFocusReason);
        controls.setSelection(control::channelEditor(f.place.channel), position, 0);
        editor->ensureCursorVisible();
    }
    window_.raise();
    window_.activateWindow();
}

void TuneProblems::showWindow() {
    if (!problemsWindow_) {
        problemsWindow_ = new ProblemsWindow();
        problemsWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(problemsWindow_, &ProblemsWindow::goTo, this, [this](const TuneFinding& f) {
            const auto it = std::find(findings_.begin(), findings_.end(), f);
            if (it == findings_.end()) return;
            AppEvent e = AppEvent::menu(menu::Problems);
            e.data = (it - findings_.begin()) + 1;  // data 0 opens the window
            post_(e);
        });
    }
    if (timer_.isActive()) runNow();
    problemsWindow_->setFindings(findings_);
    problemsWindow_->show();
    problemsWindow_->raise();
    problemsWindow_->activateWindow();
}

}  // namespace bleeptone
