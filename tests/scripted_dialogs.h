#pragma once
// The message boxes and file panels of the widget tests: every box and panel
// is recorded; questions take their answers, panels their paths and the
// export choices and choice boxes their answers from a script. A question nobody scripted
// fails the test; a panel or choices box nobody scripted is cancelled. Kinds a test forbids ("error", "information")
// fail it when they appear.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"

namespace bleeptone::testing {

class ScriptedDialogs : public Dialogs {
public:
    struct Call {
        std::string kind;  // error, information, question, open panel, save panel, export choices, or a test's own note
        QString text;      // the box's text, or the panel's title
        QString title;     // the main window's title at that moment (with titleNow)
        QString types, message;
        QString folder;    // where a panel started: a folder, or a folder and the proposed name
        ExportChoices remembered;  // what the export choices box showed
        bool songLoops = false;
    };

    // With a shared log, every call is also written there as "kind: text",
    // in order with whatever else the test writes into it.
    explicit ScriptedDialogs(std::vector<std::string>* sharedLog = nullptr) : shared_(sharedLog) {}
    // Boxes of these kinds fail the test.
    ScriptedDialogs(std::initializer_list<std::string> forbiddenKinds) : forbidden(forbiddenKinds), shared_(nullptr) {}

    void error(const QString& text) override { note("error", text); }
    void information(const QString& text) override { note("information", text); }
    bool question(const QString& text) override { return answer("question", text) == Answer::Yes; }
    Answer questionWithCancel(const QString& text) override { return answer("question", text); }
    QString filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message,
                      const QString& start) override {
        note(mode == PanelMode::Open ? "open panel" : "save panel", title);
        calls.back().types = types;
        calls.back().message = message;
        calls.back().folder = start;
        if (panelPaths.empty()) return {};
        const QString path = panelPaths.front();
        panelPaths.pop_front();
        return path;
    }

    std::optional<ExportChoices> exportChoices(const ExportChoices& remembered, bool songLoops) override {
        note("export choices", {});
        calls.back().remembered = remembered;
        calls.back().songLoops = songLoops;
        if (choiceAnswers.empty()) return std::nullopt;
        const auto answer = choiceAnswers.front();
        choiceAnswers.pop_front();
        return answer;
    }

    // Records the box as "choice: TITLE: LABEL" with the items shown.
    std::optional<int> choice(const QString& title, const QString& label, const QStringList& items,
                              int current) override {
        note("choice", title + ": " + label);
        calls.back().message = items.join('|');
        calls.back().types = QString::number(current);
        if (choiceIndexes.empty()) return std::nullopt;
        const auto answer = choiceIndexes.front();
        choiceIndexes.pop_front();
        return answer;
    }

    void note(const std::string& kind, const QString& text) {
        if (std::find(forbidden.begin(), forbidden.end(), kind) != forbidden.end())
            ADD_FAILURE() << "unexpected " << kind << ": " << text.toStdString();
        calls.push_back({kind, text, titleNow ? titleNow() : QString(), {}, {}, {}, {}, false});
        if (shared_) shared_->push_back(line(calls.back()));
    }

    // "kind: text" per call ("save panel: title | types | message" for panels).
    std::vector<std::string> log() const {
        std::vector<std::string> lines;
        for (const Call& c : calls) lines.push_back(line(c));
        return lines;
    }
    std::vector<std::string> kinds() const {
        std::vector<std::string> k;
        for (const Call& c : calls) k.push_back(c.kind);
        return k;
    }
    int count(const std::string& kind) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
    }
    void clear() { calls.clear(); }

    std::vector<Call> calls;
    std::deque<Answer> answers;      // for questions, in order
    std::deque<QString> panelPaths;  // for panels, in order; "" cancels
    std::deque<std::optional<ExportChoices>> choiceAnswers;  // for the export choices box; nothing cancels
    std::deque<std::optional<int>> choiceIndexes;            // for choice boxes (the index chosen); nothing cancels
    std::vector<std::string> forbidden;
    std::function<QString()> titleNow;

private:
    Answer answer(const std::string& kind, const QString& text) {
        note(kind, text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return Answer::No;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    static std::string line(const Call& c) {
        std::string s = c.kind + ": " + c.text.toStdString();
        if (c.kind.ends_with("panel")) s += " | " + c.types.toStdString() + " | " + c.message.toStdString();
        return s;
    }

    std::vector<std::string>* shared_;
};

inline constexpr Dialogs::Answer Yes = Dialogs::Answer::Yes;
inline constexpr Dialogs::Answer No = Dialogs::Answer::No;
inline constexpr Dialogs::Answer Cancel = Dialogs::Answer::Cancel;

}  // namespace bleeptone::testing
