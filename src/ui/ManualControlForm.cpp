#include "ManualControlForm.h"

#include "ui_ManualControlForm.h"

#include <QFont>

Tkey_Form::Tkey_Form(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      m_ui(std::make_unique<Ui::Tkey_Form>()) {
    m_ui->setupUi(this);
    // Large captions: the operator hits these in the dark without looking long.
    QFont big = font();
    big.setPixelSize(24);
    big.setBold(true);
    for (QWidget* button :
         {static_cast<QWidget*>(m_ui->CButtonNew), static_cast<QWidget*>(m_ui->CButtonAdd),
          static_cast<QWidget*>(m_ui->CButtonDel)}) {
        button->setFont(big);
    }
    resize(1018, 76);
    connect(m_ui->CButtonNew, &QPushButton::clicked, this, &Tkey_Form::toggleLinkPressed);
    connect(m_ui->CButtonAdd, &QPushButton::clicked, this, &Tkey_Form::previousPressed);
    connect(m_ui->CButtonDel, &QPushButton::clicked, this, &Tkey_Form::nextPressed);
}

Tkey_Form::~Tkey_Form() = default;
