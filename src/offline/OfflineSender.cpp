#include "OfflineSender.h"

#include "AdvertFile.h"
#include "DataFiles.h"
#include "OfflineGeneration.h"
#include "OfflineRecords.h"

#include <QFile>

#include <future>

namespace {

constexpr std::chrono::milliseconds kShowInterval{20};

QString SubtitleCardLine(ScreenId screen) {
    switch (screen) {
    case ScreenId::h:
        return QStringLiteral("发送横屏字幕:");
    case ScreenId::s:
        return QStringLiteral("发送纵屏:");
    case ScreenId::x:
        break;
    }
    return QStringLiteral("发送小屏:");
}

} // namespace

OfflineSender::OfflineSender(StationLink& link, TLedThread& worker, SettingsStore& settings,
                             OperatorInterface& op, StationPaths paths)
    : m_link(link), m_worker(worker), m_settings(settings), m_op(op), m_paths(std::move(paths)) {}

void OfflineSender::Log(const QString& line) {
    if (m_log) {
        m_log->Append(line);
    }
}

void OfflineSender::Show(const std::vector<TransferReport::Event>& events, const QString& card) {
    for (const TransferReport::Event& event : events) {
        switch (event.kind) {
        case TransferReport::Event::Kind::Line:
            Log(event.text);
            break;
        case TransferReport::Event::Kind::Progress:
            if (m_log) {
                m_log->ReplaceLast(event.text);
                m_log->ShowProgress(card, event.sent, event.total);
            }
            break;
        case TransferReport::Event::Kind::Failure:
            if (m_log) {
                m_log->Append(event.text);
            } else {
                m_op.Inform(event.text);
            }
            break;
        }
    }
}

TransferOutcome OfflineSender::Transfer(const TransferCard& card, const TransferPlan& plan,
                                        bool reportDisconnectTimeout) {
    TransferReport report;
    const bool startOffline = m_settings.Ad.play;
    CardOnline& online = m_worker.cardOnline();
    std::future<TransferOutcome> done = std::async(std::launch::async, [&] {
        return OfflineTransfer(m_link, online, card, plan, startOffline, reportDisconnectTimeout,
                               report, m_cancel);
    });
    const QString cardText = MacText(card.mac);
    if (m_log) {
        m_log->ShowProgress(cardText, 0, plan.total);
    }
    while (done.wait_for(kShowInterval) != std::future_status::ready) {
        Show(report.Take(), cardText);
        m_op.ProcessEvents();
    }
    const TransferOutcome outcome = done.get();
    Show(report.Take(), cardText);
    if (outcome == TransferOutcome::Done) {
        ++m_cardsDone;
    }
    return outcome;
}

bool OfflineSender::SendToCards(ScreenId screen, const TransferPlan& plan, const QString& line,
                                bool reportDisconnectTimeout) {
    const CardList cards = m_settings.cards(screen);
    for (std::size_t i = 0; i < std::min<std::size_t>(cards.size(), kMaxCards); ++i) {
        if (cancelled()) {
            return false;
        }
        const TransferCard card{screen, static_cast<int>(i), MacFromEntry(cards[i].id)};
        Log(line + MacText(card.mac));
        Transfer(card, plan, reportDisconnectTimeout);
    }
    // A stop during the last card's transfer stopped the screen too: it must
    // not be reported as sent to all.
    return !cancelled();
}

void OfflineSender::SendSubtitleFile(ScreenId screen) {
    m_worker.cardOnline().clear(screen);
    if (!m_settings.ActiveSettings.screen(screen).ScreenKind || cancelled()) {
        return;
    }
    QFile file(m_paths.dataFile(SubtitleFileName(screen)));
    if (!file.open(QIODevice::ReadOnly)) {
        m_op.Inform(QStringLiteral("打开文件失败！请重启软件！"));
        return;
    }
    if (file.size() > kMaxSubtitleFile) {
        Log(ScreenName(screen) + QStringLiteral("数据过大，请减小一些文字后重试！"));
        return;
    }
    const TransferPlan plan = SubtitleTransferPlan(file.readAll());
    file.close();
    if (SendToCards(screen, plan, SubtitleCardLine(screen), true)) {
        Log(QStringLiteral("所有") + ScreenName(screen) + QStringLiteral("发送完毕"));
    }
}

void OfflineSender::SendAdvertisement(ScreenId screen, bool rendered) {
    m_worker.cardOnline().clear(screen);
    const OfflineScreen target =
        OfflineScreens(m_settings.ActiveSettings)[size_t(ScreenIndex(screen))];
    if (!target.inUse || !rendered || cancelled()) {
        return;
    }
    const std::optional<QByteArray> file = BuildAdvertFile(
        m_worker.ScreenBitmap(screen), target.kind, AdvertEffect(m_settings.Ad), target.cardWidth);
    if (!file) {
        m_op.Inform(QStringLiteral("字符过多，请减少一些后重试"));
        return;
    }
    const IoStatus written = WriteDataFile(m_paths, AdvertFileName(screen), *file);
    if (!written) {
        m_op.ShowError(written.message);
        return;
    }
    SendToCards(screen, AdvertTransferPlan(*file),
                QStringLiteral("发送") + ScreenName(screen) + QStringLiteral("广告:"), false);
}
