#include "DialogAnswers.h"

#include <QDialog>

DialogAnswers& DialogAnswers::instance() {
    static DialogAnswers answers;
    return answers;
}

void DialogAnswers::setScripted(bool scripted) {
    m_scripted = scripted;
}

void DialogAnswers::reset() {
    yesNo.clear();
    choices.clear();
    openFiles.clear();
    saveFiles.clear();
    texts.clear();
    forms.clear();
    shown.clear();
    unanswered.clear();
}

int RunModal(QDialog& dialog) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (!answers.scripted()) {
        return dialog.exec();
    }
    answers.shown.append(QStringLiteral("form:") + dialog.windowTitle());
    if (answers.forms.empty()) {
        answers.unanswered.append(QStringLiteral("form:") + dialog.windowTitle());
        return QDialog::Rejected;
    }
    const std::function<int(QDialog&)> fill = std::move(answers.forms.front());
    answers.forms.pop_front();
    const int result = fill(dialog);
    dialog.setResult(result);
    return result;
}
