#include "MonitorForm.h"

#include "ui_MonitorForm.h"

#include "link/LinkMonitor.h"

#include <QMetaObject>

TjianceForm::TjianceForm(LinkMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      m_ui(std::make_unique<Ui::TjianceForm>()), m_monitor(monitor) {
    m_ui->setupUi(this);
    m_ui->Memo1->setMaximumBlockCount(kMaxLines);
    // Called on the worker thread: only post the pull. The queued call is
    // dropped if the window is gone by the time it would run.
    m_monitor.SetNotifier([this] {
        QMetaObject::invokeMethod(
            this, [this] { PullLines(); }, Qt::QueuedConnection);
    });
}

TjianceForm::~TjianceForm() {
    m_monitor.SetNotifier({});
    m_monitor.SetVisible(false);
}

QStringList TjianceForm::lines() const {
    const QString text = m_ui->Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TjianceForm::PullLines() {
    for (const LinkMonitor::Entry& entry : m_monitor.TakeEntries()) {
        m_ui->Memo1->appendPlainText(entry.at.toString(QStringLiteral("HH:mm:ss.zzz")) +
                                     QStringLiteral("  ") + entry.text);
    }
}

void TjianceForm::showEvent(QShowEvent* event) {
    m_monitor.SetVisible(true);
    QWidget::showEvent(event);
}

void TjianceForm::hideEvent(QHideEvent* event) {
    m_monitor.SetVisible(false);
    QWidget::hideEvent(event);
}
