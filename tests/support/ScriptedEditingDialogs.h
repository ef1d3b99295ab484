#pragma once

#include "documents/ScriptEditing.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>

// The editing dialogs answered from a script; what each dialog was shown is
// recorded. A dialog without a scripted answer fails the test loudly.
class ScriptedEditingDialogs : public ScriptEditingDialogs {
public:
    std::deque<std::optional<QString>> lineAnswers;
    std::deque<std::optional<QString>> scriptAnswers;
    std::deque<std::optional<NewFileChoice>> newFileAnswers;

    // "caption|text" of every line dialog shown.
    QStringList linesShown;
    QList<QStringList> scriptsShown;
    QList<bool> trackOffered;

    std::optional<QString> AskLine(const QString& caption, const QString& text) override {
        linesShown.append(caption + QLatin1Char('|') + text);
        return take(lineAnswers, "AskLine");
    }
    std::optional<QString> EditScript(const QStringList& lines) override {
        scriptsShown.append(lines);
        return take(scriptAnswers, "EditScript");
    }
    std::optional<NewFileChoice> ChooseNewFile(bool offered) override {
        trackOffered.append(offered);
        return take(newFileAnswers, "ChooseNewFile");
    }

private:
    template <typename T> static T take(std::deque<T>& answers, const char* what) {
        if (answers.empty()) {
            throw std::logic_error(std::string("unscripted ") + what);
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};
