#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

class QDialog;

// Answers to the operator's dialogs, given in advance. Tests script every
// question, file dialog and form so that no modal window ever waits for a
// person; the station itself never scripts anything. While scripted, a dialog
// without a scripted answer is recorded in `unanswered` and dismissed.
// User-interface thread only.
class DialogAnswers {
public:
    static DialogAnswers& instance();

    void setScripted(bool scripted);
    bool scripted() const { return m_scripted; }
    // Forgets every answer and record.
    void reset();

    std::deque<bool> yesNo;
    std::deque<int> choices;       // index of the button, -1: dismissed
    std::deque<QString> openFiles; // empty: dismissed
    std::deque<QString> saveFiles;
    std::deque<std::optional<QString>> texts;
    // A form: the function fills it as the operator would and returns
    // QDialog::Accepted or QDialog::Rejected.
    std::deque<std::function<int(QDialog&)>> forms;

    // Every message and question shown while scripted: "ask:", "choose:",
    // "inform:", "error:", "form:" followed by the text or the form's caption.
    QStringList shown;
    QStringList unanswered;

private:
    bool m_scripted = false;
};

// Runs a modal form: exec() for the operator, the scripted answer in tests.
int RunModal(QDialog& dialog);
