#include "CaptionForm.h"

#include "ui_CaptionForm.h"

TCaptionForm::TCaptionForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TCaptionForm>()) {
    m_ui->setupUi(this);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TCaptionForm::~TCaptionForm() = default;

void TCaptionForm::prepare(const QString& caption, const QString& text) {
    setWindowTitle(caption);
    m_ui->Edit1->setText(text);
}

QString TCaptionForm::text() const {
    return m_ui->Edit1->text();
}

void TCaptionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The operator types at once, replacing or extending the line.
    m_ui->Edit1->setFocus(Qt::ActiveWindowFocusReason);
    m_ui->Edit1->selectAll();
}
