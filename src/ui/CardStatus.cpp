#include "CardStatus.h"

#include <QTimer>

namespace {

bool Failing(const FrameReport& report) {
    return report.shown < report.cards;
}

} // namespace

QString CardStatusText(const CardStatusReports& reports) {
    QStringList parts;
    for (ScreenId screen : kAllScreens) {
        const std::optional<FrameReport>& report = reports[size_t(ScreenIndex(screen))];
        if (!report) {
            continue;
        }
        QString part = ScreenName(screen) + QLatin1Char(' ') + QString::number(report->shown) +
                       QLatin1Char('/') + QString::number(report->cards);
        if (Failing(*report)) {
            part = QStringLiteral("<span style=\"color:#d00000;font-weight:bold\">") + part +
                   QStringLiteral("（%1张超时）</span>").arg(report->cards - report->shown);
        }
        parts.append(part);
    }
    return parts.join(QStringLiteral("&nbsp;&nbsp;"));
}

CardStatusPanel::CardStatusPanel(TLedThread& worker, std::function<bool()> connected,
                                 QWidget* parent)
    : QLabel(parent), m_worker(worker), m_connected(std::move(connected)) {
    setObjectName(QStringLiteral("CardStatus"));
    setTextFormat(Qt::RichText);
    setToolTip(QStringLiteral("每块屏上次发送的画面有几张卡显示成功"));
    auto* timer = new QTimer(this);
    timer->setInterval(200);
    connect(timer, &QTimer::timeout, this, &CardStatusPanel::Update);
    timer->start();
}

void CardStatusPanel::Update() {
    CardStatusReports reports;
    const bool connected = m_connected();
    m_failing = false;
    for (ScreenId screen : kAllScreens) {
        const size_t i = size_t(ScreenIndex(screen));
        const FrameReport report = m_worker.LastFrame(screen);
        if (!connected) {
            // The worker sends nothing while the link is closed: what it
            // finished so far belongs to an earlier connection.
            m_framesAtConnect[i] = report.frames;
            continue;
        }
        if (m_worker.IsScreenInUse(screen) && report.frames > m_framesAtConnect[i]) {
            reports[i] = report;
            m_failing = m_failing || Failing(report);
        }
    }
    const QString text = CardStatusText(reports);
    if (text != this->text()) {
        setText(text);
    }
}
