#include "WidgetOperator.h"

#include "DialogAnswers.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString kQuestionCaption = QStringLiteral("询问");
const QString kInformationCaption = QStringLiteral("信息");

template <typename T> std::optional<T> Scripted(std::deque<T>& queue, const QString& record) {
    DialogAnswers& answers = DialogAnswers::instance();
    answers.shown.append(record);
    if (queue.empty()) {
        answers.unanswered.append(record);
        return std::nullopt;
    }
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

} // namespace

bool WidgetOperator::AskYesNo(const QString& text) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        return Scripted(answers.yesNo, QStringLiteral("ask:") + text).value_or(false);
    }
    return QMessageBox::question(m_parent, kQuestionCaption, text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

int WidgetOperator::AskChoice(const QString& text, const QStringList& choices) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        return Scripted(answers.choices, QStringLiteral("choose:") + text).value_or(-1);
    }
    QMessageBox box(QMessageBox::Question, kQuestionCaption, text, QMessageBox::NoButton, m_parent);
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices) {
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    }
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

void WidgetOperator::Inform(const QString& text) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        answers.shown.append(QStringLiteral("inform:") + text);
        return;
    }
    QMessageBox::information(m_parent, kInformationCaption, text);
}

void WidgetOperator::ShowError(const QString& text) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        answers.shown.append(QStringLiteral("error:") + text);
        return;
    }
    QMessageBox::critical(m_parent, kInformationCaption, text);
}

QString WidgetOperator::ChooseOpenFile(const QString& filter, const QString& initialName) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        return Scripted(answers.openFiles, QStringLiteral("open:") + filter).value_or(QString());
    }
    return QFileDialog::getOpenFileName(m_parent, QString(), initialName, ToQtFileFilter(filter));
}

QString WidgetOperator::ChooseSaveFile(const QString& filter, const QString& initialName) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        return Scripted(answers.saveFiles, QStringLiteral("save:") + filter).value_or(QString());
    }
    // The station appends the extension itself, so the dialog must not.
    return QFileDialog::getSaveFileName(m_parent, QString(), initialName, ToQtFileFilter(filter),
                                        nullptr, QFileDialog::DontConfirmOverwrite);
}

std::optional<QString> WidgetOperator::AskText(const QString& caption, const QString& prompt,
                                               const QString& initial, bool password) {
    DialogAnswers& answers = DialogAnswers::instance();
    if (answers.scripted()) {
        return Scripted(answers.texts, QStringLiteral("text:") + prompt).value_or(std::nullopt);
    }
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, prompt,
                              password ? QLineEdit::Password : QLineEdit::Normal, initial, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

void WidgetOperator::SetStatus(const QString& text) {
    if (m_status) {
        m_status(text);
    }
}

void WidgetOperator::ProcessEvents() {
    QCoreApplication::processEvents();
}
