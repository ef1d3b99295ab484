#include "CardService.h"

#include "Pumping.h"

CardService::CardService(StationLink& link, TLedThread& worker, OperatorInterface& op)
    : m_link(link), m_worker(worker), m_op(op) {}

void CardService::HoldWorker() {
    m_worker.Suspend();
    PumpUntil(m_op,
              [this](std::chrono::milliseconds limit) { return m_worker.WaitUntilHeld(limit); });
}

void CardService::Activate(ScreenId screen) {
    const LinkStatus status = m_link.screen(screen).EnsureActive();
    if (!status) {
        // Without a socket nothing reaches the cards; the time-out that would
        // follow does not say why.
        m_op.ShowError(QStringLiteral("无法打开通讯端口：") + status.message);
    }
}

bool CardService::Exchange(ScreenId screen, const Command& command) {
    ScreenLink& link = m_link.screen(screen);
    return RunWhilePumping(
        m_op, [&link, &command] { return link.Transact(command, LinkBudgets::kServiceOperation); });
}

void CardService::BeginSearch(ScreenId screen) {
    HoldWorker();
    const LinkStatus status = m_link.screen(screen).BeginSearch(m_link.commands().Search());
    if (!status) {
        m_op.ShowError(QStringLiteral("无法搜索控制卡：") + status.message);
    }
}

CardList CardService::FinishSearch(ScreenId screen) {
    ScreenLink& link = m_link.screen(screen);
    link.EndSearch();
    return link.Cards();
}

bool CardService::ConnectOrReport(ScreenId screen, const MacAddress& mac) {
    Activate(screen);
    if (Exchange(screen, m_link.commands().Connect(mac))) {
        return true;
    }
    m_link.screen(screen).Deactivate();
    m_op.Inform(MacText(mac) + QStringLiteral("->连接超时！"));
    return false;
}

bool CardService::LoadParameters(ScreenId screen, const MacAddress& mac,
                                 std::span<const std::uint8_t, kParamBlockSize> block,
                                 bool startOffline) {
    HoldWorker();
    ScreenLink& link = m_link.screen(screen);
    CommandBuffer& commands = m_link.commands();
    const QString card = MacText(mac);
    if (!ConnectOrReport(screen, mac)) {
        return false;
    }
    if (!Exchange(screen, commands.LoadParameters(mac, block))) {
        link.Deactivate();
        m_op.Inform(card + QStringLiteral("->加载超时！"));
        return false;
    }
    m_op.Inform(card + QStringLiteral("->加载成功！"));
    link.SendUnanswered(commands.Disconnect(mac, startOffline));
    link.Deactivate();
    return true;
}

bool CardService::MoveCard(ScreenId from, ScreenId to, const MacAddress& mac, bool startOffline) {
    HoldWorker();
    ScreenLink& link = m_link.screen(from);
    CommandBuffer& commands = m_link.commands();
    const QString card = MacText(mac);
    if (!ConnectOrReport(from, mac)) {
        return false;
    }
    if (!Exchange(from, commands.AssignScreen(mac, ScreenIndex(to)))) {
        link.Deactivate();
        m_op.Inform(card + QStringLiteral("->设置超时！"));
        return false;
    }
    m_op.Inform(card + QStringLiteral("->设置成功！"));
    // The card now listens on the target screen's port; the farewell still goes
    // out through this listener, as the card expects no answer to be awaited.
    link.SendUnanswered(commands.Disconnect(mac, startOffline));
    link.Deactivate();
    return true;
}
