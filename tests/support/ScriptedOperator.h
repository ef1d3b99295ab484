#pragma once

#include "core/Operator.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

// An operator that answers from a script and records everything it was told.
// A question without a scripted answer fails the test loudly instead of
// guessing.
class ScriptedOperator : public OperatorInterface {
public:
    struct Event {
        QString kind; // "ask", "choose", "inform", "error", "open", "save", "text", "status"
        QString text;
    };

    std::deque<bool> yesNoAnswers;
    std::deque<int> choiceAnswers;   // -1: dismissed
    std::deque<QString> openAnswers; // empty string = dismissed
    std::deque<QString> saveAnswers;
    std::deque<std::optional<QString>> textAnswers;
    std::vector<Event> events;
    int processEventsCalls = 0;
    // Called after each question, message or status: what the operator does
    // while a message box is open (press another button, say).
    std::function<void(const Event&)> onEvent;

    bool AskYesNo(const QString& text) override {
        Record({QStringLiteral("ask"), text});
        return take(yesNoAnswers, "AskYesNo", text);
    }
    int AskChoice(const QString& text, const QStringList&) override {
        Record({QStringLiteral("choose"), text});
        return take(choiceAnswers, "AskChoice", text);
    }
    void Inform(const QString& text) override { Record({QStringLiteral("inform"), text}); }
    void ShowError(const QString& text) override { Record({QStringLiteral("error"), text}); }
    QString ChooseOpenFile(const QString& filter, const QString&) override {
        Record({QStringLiteral("open"), filter});
        return take(openAnswers, "ChooseOpenFile", filter);
    }
    QString ChooseSaveFile(const QString& filter, const QString&) override {
        Record({QStringLiteral("save"), filter});
        return take(saveAnswers, "ChooseSaveFile", filter);
    }
    std::optional<QString> AskText(const QString&, const QString& prompt, const QString&,
                                   bool) override {
        Record({QStringLiteral("text"), prompt});
        return take(textAnswers, "AskText", prompt);
    }
    void SetStatus(const QString& text) override { Record({QStringLiteral("status"), text}); }
    void ProcessEvents() override {
        ++processEventsCalls;
        if (onProcessEvents) {
            onProcessEvents();
        }
    }
    // What the operator does while a long command lets events run.
    std::function<void()> onProcessEvents;

    void Record(Event event) {
        events.push_back(event);
        if (onEvent) {
            onEvent(events.back());
        }
    }

    // The texts of the events of one kind, in order.
    QStringList texts(const QString& kind) const {
        QStringList out;
        for (const Event& e : events) {
            if (e.kind == kind) {
                out.append(e.text);
            }
        }
        return out;
    }
    QString lastStatus() const {
        const QStringList all = texts(QStringLiteral("status"));
        return all.isEmpty() ? QString() : all.last();
    }

private:
    template <typename T>
    static T take(std::deque<T>& answers, const char* what, const QString& text) {
        if (answers.empty()) {
            throw std::logic_error(std::string("unscripted ") + what + ": " + text.toStdString());
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};
