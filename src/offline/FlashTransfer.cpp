#include "FlashTransfer.h"

namespace {

// The file from `from` to its end as whole 1024-byte blocks from `address` on,
// then a block with the rest.
void AppendBlocks(TransferPlan& plan, const QByteArray& file, qsizetype from,
                  std::uint32_t address) {
    for (qsizetype at = from; at < file.size(); at += 1024, address += 1024) {
        FlashBlock block{address, file.mid(at, 1024), 0};
        block.valid = static_cast<int>(block.payload.size());
        if (block.valid == 1024) {
            plan.full.push_back(std::move(block));
        } else {
            plan.partial = std::move(block);
        }
    }
}

} // namespace

TransferPlan SubtitleTransferPlan(const QByteArray& file) {
    TransferPlan plan;
    plan.full.reserve(static_cast<std::size_t>(file.size() / 1024));
    AppendBlocks(plan, file, 0, kSubtitleAddress);
    plan.total = static_cast<int>(file.size() / 1024);
    return plan;
}

TransferPlan AdvertTransferPlan(const QByteArray& file) {
    TransferPlan plan;
    // The lead block (header and the first 1010 data bytes) always counts 1024
    // bytes; past a short file they are zeros, never what an earlier command
    // left in the buffer.
    plan.lead = FlashBlock{kAdvertAddress, file.left(1024), 1024};
    plan.lead->payload.resize(1024, '\0');
    AppendBlocks(plan, file, 1024, kAdvertAddress + 0x400);
    plan.total = static_cast<int>(std::max<qsizetype>(file.size() - 14, 0) / 1024);
    return plan;
}

void TransferReport::Line(const QString& text) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({Event::Kind::Line, text, 0, 0});
}

void TransferReport::Progress(int sent, int total) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({Event::Kind::Progress,
                        QStringLiteral("总包数%1已发送%2").arg(total).arg(sent), sent, total});
}

void TransferReport::Failure(const QString& text) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({Event::Kind::Failure, text, 0, 0});
}

std::vector<TransferReport::Event> TransferReport::Take() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_events, {});
}

TransferOutcome OfflineTransfer(StationLink& link, CardOnline& online, const TransferCard& card,
                                const TransferPlan& plan, bool startOffline,
                                bool reportDisconnectTimeout, TransferReport& report,
                                const std::atomic<bool>& cancel) {
    ScreenLink& screen = link.screen(card.screen);
    CommandBuffer& commands = link.commands();
    const QString mac = MacText(card.mac);
    const WaitBudget budget = LinkBudgets::kOfflineTransfer;
    const auto fail = [&](const QString& what, TransferOutcome outcome) {
        report.Failure(mac + what);
        online.set(card.screen, card.index, false);
        return outcome;
    };
    const auto write = [&](const FlashBlock& block) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.payload.constData());
        const std::span<const std::uint8_t> data(
            bytes, static_cast<std::size_t>(std::min<qsizetype>(block.payload.size(), 1024)));
        return screen.Transact(commands.WriteFlash(card.mac, block.address,
                                                   data.first(static_cast<std::size_t>(
                                                       std::min<int>(block.valid, 1024)))),
                               budget);
    };

    screen.EnsureActive();
    if (!screen.Transact(commands.Connect(card.mac), budget)) {
        return fail(QStringLiteral("->连接超时！"), TransferOutcome::ConnectFailed);
    }
    online.set(card.screen, card.index, true);
    if (!screen.Transact(commands.OfflineMode(card.mac), budget)) {
        return fail(QStringLiteral("->切换脱机模式失败！"), TransferOutcome::OfflineModeFailed);
    }
    if (plan.lead && !write(*plan.lead)) {
        return fail(QStringLiteral("->通讯超时"), TransferOutcome::BlockFailed);
    }
    if (!plan.full.empty() || plan.partial) {
        report.Line(QString());
    }
    const auto cancelled = [&] {
        // Acknowledged or not, the card is told not to play what it holds.
        screen.Transact(commands.Disconnect(card.mac, false), budget);
        online.set(card.screen, card.index, false);
        report.Line(mac + QStringLiteral("->已停止发送"));
        return TransferOutcome::Cancelled;
    };
    for (std::size_t k = 0; k < plan.full.size(); ++k) {
        if (cancel.load()) {
            return cancelled();
        }
        report.Progress(static_cast<int>(k) + 1, plan.total);
        if (!write(plan.full[k])) {
            return fail(QStringLiteral("->通讯超时"), TransferOutcome::BlockFailed);
        }
    }
    if (plan.partial) {
        if (cancel.load()) {
            return cancelled();
        }
        if (!write(*plan.partial)) {
            return fail(QStringLiteral("->通讯超时"), TransferOutcome::BlockFailed);
        }
    }
    if (screen.Transact(commands.Disconnect(card.mac, startOffline), budget)) {
        online.set(card.screen, card.index, false);
    } else if (reportDisconnectTimeout) {
        report.Failure(mac + QStringLiteral("->断开连接超时"));
    }
    return TransferOutcome::Done;
}
