#include "AboutForm.h"

#include "ui_AboutForm.h"

#include "StationVersion.h"

#include <QFont>
#include <QFontInfo>
#include <QtGlobal>

std::vector<TAboutForm::Component> TAboutForm::Components() {
    return {
        {QStringLiteral("Qt 6"), QStringLiteral("LGPL-3.0")},
        {QStringLiteral("libmpg123"), QStringLiteral("LGPL-2.1")},
        {QStringLiteral("kissfft"), QStringLiteral("BSD-3-Clause")},
        {QStringLiteral("AR PL UMing 字体"), QStringLiteral("Arphic Public License")},
        {QStringLiteral("WenQuanYi Zen Hei 字体"), QStringLiteral("GPL-2.0（附字体嵌入例外条款）")},
    };
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TAboutForm>()) {
    m_ui->setupUi(this);

    m_ui->LabelName->setText(QStringLiteral("舞台字幕控制系统"));
    // The application font may be given in pixels (the main window's "宋体"
    // is), so scale what is actually drawn rather than the point size.
    QFont nameFont = m_ui->LabelName->font();
    nameFont.setPixelSize(qRound(QFontInfo(nameFont).pixelSize() * 1.6));
    nameFont.setBold(true);
    m_ui->LabelName->setFont(nameFont);

    m_ui->LabelVersion->setText(
        QStringLiteral("版本 %1　　运行于 Qt %2")
            .arg(QString::fromLatin1(kStationVersion), QString::fromLatin1(qVersion())));

    QString rows;
    for (const Component& component : Components()) {
        rows += QStringLiteral("<tr><td>%1</td><td style=\"padding-left: 24px\">%2</td></tr>")
                    .arg(component.name.toHtmlEscaped(), component.licence.toHtmlEscaped());
    }
    m_ui->LabelLicences->setText(QStringLiteral("<table cellspacing=\"2\">%1</table>").arg(rows));

    connect(m_ui->ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutForm::~TAboutForm() = default;
