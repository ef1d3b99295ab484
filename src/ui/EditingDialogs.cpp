#include "EditingDialogs.h"

#include "ui/CaptionForm.h"
#include "ui/DialogAnswers.h"
#include "ui/EditForm.h"
#include "ui/NewFileForm.h"

WidgetEditingDialogs::WidgetEditingDialogs(QWidget* parent)
    : m_captionForm(new TCaptionForm(parent)), m_editForm(new TEditForm(parent)),
      m_newFileForm(new TNewFileForm(parent)) {
    m_captionForm->setObjectName(QStringLiteral("CaptionForm"));
    m_editForm->setObjectName(QStringLiteral("EditForm"));
    m_newFileForm->setObjectName(QStringLiteral("NewFileForm"));
}

WidgetEditingDialogs::~WidgetEditingDialogs() {
    delete m_captionForm;
    delete m_editForm;
    delete m_newFileForm;
}

std::optional<QString> WidgetEditingDialogs::AskLine(const QString& caption, const QString& text) {
    m_captionForm->prepare(caption, text);
    if (RunModal(*m_captionForm) != QDialog::Accepted) {
        return std::nullopt;
    }
    return m_captionForm->text();
}

std::optional<QString> WidgetEditingDialogs::EditScript(const QStringList& lines) {
    m_editForm->load(lines);
    if (RunModal(*m_editForm) != QDialog::Accepted) {
        return std::nullopt;
    }
    return m_editForm->text();
}

std::optional<NewFileChoice> WidgetEditingDialogs::ChooseNewFile(bool trackOffered) {
    m_newFileForm->prepare(trackOffered);
    if (RunModal(*m_newFileForm) != QDialog::Accepted) {
        return std::nullopt;
    }
    return m_newFileForm->choice();
}
