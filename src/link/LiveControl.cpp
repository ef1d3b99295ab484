#include "LiveControl.h"

#include "FrameEncoding.h"
#include "MacAddress.h"
#include "Pumping.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

namespace {

const QString kNotConnected = QStringLiteral("未连接屏幕，请先点连接按钮。");
const QString kDisconnectFirst = QStringLiteral("请先断开与字幕机的连接。");
const QString kLinkBusy = QStringLiteral("正在连接或断开字幕机，请稍候再试。");
const QString kConnectForBrightness = QStringLiteral("请先连接字幕机再发送亮度命令。");

// Clears a flag when the scope ends, however it ends.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

// The listeners go inactive at the end of a disconnect, also when something
// threw halfway.
class DeactivateScope {
public:
    explicit DeactivateScope(StationLink& link) : m_link(link) {}
    ~DeactivateScope() { m_link.DeactivateAll(); }
    DeactivateScope(const DeactivateScope&) = delete;
    DeactivateScope& operator=(const DeactivateScope&) = delete;

private:
    StationLink& m_link;
};

std::size_t ListedCards(const CardList& cards) {
    return std::min<std::size_t>(cards.size(), kMaxCards);
}

} // namespace

LiveControl::LiveControl(StationLink& link, TLedThread& worker, SettingsStore& settings,
                         OperatorInterface& op, LiveControlHost* host)
    : m_link(link), m_worker(worker), m_settings(settings), m_op(op), m_host(host) {}

void LiveControl::HoldWorker() {
    PumpUntil(m_op,
              [this](std::chrono::milliseconds limit) { return m_worker.WaitUntilHeld(limit); });
}

bool LiveControl::Exchange(ScreenId screen, const Command& command, const WaitBudget& budget) {
    ScreenLink& link = m_link.screen(screen);
    return RunWhilePumping(m_op,
                           [&link, &command, &budget] { return link.Transact(command, budget); });
}

void LiveControl::EnsureListener(ScreenId screen, bool& reported) {
    const LinkStatus status = m_link.screen(screen).EnsureActive();
    if (!status && !reported) {
        // Without a socket nothing can reach the cards; say why once per screen
        // instead of leaving only the time-outs that follow.
        reported = true;
        m_op.ShowError(QStringLiteral("无法打开通讯端口：") + status.message);
    }
}

void LiveControl::RunConnectSequence() {
    // The worker is suspended while not connected; make sure it is held before
    // this thread uses the link.
    m_worker.Suspend();
    HoldWorker();

    CardOnline& online = m_worker.cardOnline();
    CommandBuffer& commands = m_link.commands();
    for (ScreenId screen : kAllScreens) {
        online.clear(screen);
        if (!m_settings.ActiveSettings.screen(screen).ScreenKind) {
            continue;
        }
        // A copy: the list must not change under us while events run.
        const CardList cards = m_settings.cards(screen);
        bool reported = false;
        for (std::size_t i = 0; i < ListedCards(cards); ++i) {
            const int index = static_cast<int>(i);
            const MacAddress mac = MacFromEntry(cards[i].id);
            EnsureListener(screen, reported);
            if (!Exchange(screen, commands.Connect(mac), LinkBudgets::kConnectSequence)) {
                m_op.Inform(MacText(mac) + QStringLiteral("->连接超时！"));
                online.set(screen, index, false);
                continue;
            }
            online.set(screen, index, true);
            if (!Exchange(screen, commands.SyncMode(mac), LinkBudgets::kConnectSequence)) {
                m_op.Inform(MacText(mac) + QStringLiteral("->切换同步模式失败！"));
                online.set(screen, index, false);
            }
        }
    }

    for (ScreenId screen : kAllScreens) {
        const TScreenParams& params = m_settings.ActiveSettings.screen(screen);
        m_worker.UpdatePlaneLength(screen);
        m_worker.SetColourKind(screen, ColourKindText(params.ScreenStyle));
        m_worker.SetScreenInUse(screen, params.ScreenKind);
        m_worker.SetCardList(screen, m_settings.cards(screen));
    }
    // A card the worker reconnects by itself gets the stored level, not a dark screen.
    m_worker.SetBrightnessLevel(BrightnessLevel());
    m_worker.Resume();
    m_worker.PauseSending(false);
}

void LiveControl::RunDisconnectSequence() {
    // The worker stops at its next pause point (once the slices in flight are
    // answered or given up) and stays there; the sends below have the link to
    // themselves.
    m_worker.PauseSending(true);
    m_worker.Suspend();
    HoldWorker();

    DeactivateScope deactivate(m_link);
    CardOnline& online = m_worker.cardOnline();
    CommandBuffer& commands = m_link.commands();
    const bool startOffline = m_settings.Ad.play;
    for (ScreenId screen : kAllScreens) {
        if (!m_settings.ActiveSettings.screen(screen).ScreenKind) {
            continue;
        }
        const CardList cards = m_settings.cards(screen);
        bool reported = false;
        for (std::size_t i = 0; i < ListedCards(cards); ++i) {
            const MacAddress mac = MacFromEntry(cards[i].id);
            EnsureListener(screen, reported);
            if (Exchange(screen, commands.Disconnect(mac, startOffline),
                         LinkBudgets::kDisconnectSequence)) {
                online.set(screen, static_cast<int>(i), false);
            }
        }
    }
}

void LiveControl::ToggleConnection() {
    if (m_connected) {
        Disconnect();
    } else {
        Connect();
    }
}

void LiveControl::Connect() {
    if (m_busy || m_connected) {
        return;
    }
    {
        BusyScope busy(m_busy);
        RunConnectSequence();
        m_connected = true;
    }
    const std::optional<QString> line = m_host ? m_host->ReselectLine() : std::nullopt;
    m_op.SetStatus(QStringLiteral("【字幕】 ") + line.value_or(QString()));
    if (m_host) {
        m_host->RefreshCommands();
    }
}

void LiveControl::Disconnect() {
    if (m_busy || !m_connected) {
        return;
    }
    {
        BusyScope busy(m_busy);
        RunDisconnectSequence();
        m_connected = false;
    }
    if (m_host) {
        m_host->StopPlayback();
    }
    m_op.SetStatus(kNotConnected);
    if (m_host) {
        m_host->RefreshCommands();
    }
}

int LiveControl::BrightnessLevel() const {
    return std::clamp(m_settings.StoredSettings.Link.Light, 0, 16);
}

QString LiveControl::BrightnessCaption(int level) {
    return QStringLiteral("调亮(") + QString::number(level) + QStringLiteral(")");
}

void LiveControl::StepBrightness() {
    if (!m_connected) {
        m_op.Inform(kConnectForBrightness);
        return;
    }
    int level = BrightnessLevel() + 1;
    if (level > 16) {
        // One click past the top would black out every screen mid-show.
        if (!m_op.AskYesNo(QStringLiteral("亮度将降为0，屏幕会全黑，确定吗？"))) {
            return;
        }
        level = 0;
    }
    SendBrightness(level);
}

void LiveControl::LowerBrightness() {
    if (!m_connected) {
        m_op.Inform(kConnectForBrightness);
        return;
    }
    const int level = BrightnessLevel();
    if (level == 0) {
        m_op.SetStatus(QStringLiteral("亮度已是最低"));
        return;
    }
    SendBrightness(level - 1);
}

void LiveControl::SetBrightness(int level) {
    if (!m_connected) {
        m_op.Inform(kConnectForBrightness);
        return;
    }
    SendBrightness(std::clamp(level, 0, 16));
}

void LiveControl::SendBrightness(int level) {
    m_settings.StoredSettings.Link.Light = level;
    if (m_host) {
        m_host->ShowBrightnessCaption(BrightnessCaption(level));
    }
    m_op.SetStatus(QStringLiteral("发送亮度命令完毕"));
    m_worker.RequestBrightness(level);
}

bool LiveControl::RefuseWhileConnected() {
    if (m_busy) {
        // The connect or disconnect sequence lets events run while it waits
        // for cards: a command that must not meet a live link would reach a
        // card just put in sync mode. Not a message box: it would hold the
        // sequence until the operator closed it.
        m_op.SetStatus(kLinkBusy);
        return true;
    }
    if (!m_connected) {
        return false;
    }
    m_op.Inform(kDisconnectFirst);
    return true;
}

void LiveControl::SwitchOfflineSync() {
    if (RefuseWhileConnected()) {
        return;
    }
    if (m_host) {
        m_host->ShowOfflineTransfer();
    }
}

void LiveControl::ClearScreens() {
    if (!m_connected) {
        m_op.Inform(QStringLiteral("请先连接字幕机再发送清屏命令。"));
        return;
    }
    if (m_host) {
        for (ScreenId screen : kAllScreens) {
            m_host->RenderEmptyLine(screen);
        }
    }
    m_op.SetStatus(QStringLiteral("发送清除屏幕命令完毕"));
}

void LiveControl::Reset() {
    m_op.SetStatus(m_connected ? QStringLiteral("发送复位命令完毕") : kNotConnected);
}
