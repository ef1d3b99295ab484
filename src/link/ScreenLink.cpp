#include "ScreenLink.h"

#include "Replies.h"

#include <algorithm>

ScreenLink::ScreenLink(ScreenId screen, LinkConfig config)
    : m_screen(screen), m_config(std::move(config)) {}

ScreenLink::~ScreenLink() {
    Deactivate();
}

LinkStatus ScreenLink::Activate() {
    std::lock_guard activation(m_activationMutex);
    return ActivateLocked();
}

LinkStatus ScreenLink::EnsureActive() {
    std::lock_guard activation(m_activationMutex);
    {
        std::lock_guard lock(m_bindingsMutex);
        if (!m_bindings.empty()) {
            return {};
        }
    }
    return ActivateLocked();
}

LinkStatus ScreenLink::ActivateLocked() {
    DeactivateLocked();
    const std::vector<Ipv4Address> addresses = m_config.EffectiveLocalAddresses();
    const std::uint16_t port = m_config.StationPort(m_screen);
    if (addresses.empty()) {
        return {false, QStringLiteral("no local IPv4 address to bind port %1").arg(port)};
    }
    {
        std::lock_guard lock(m_bindingsMutex);
        m_ownAddresses = addresses;
    }
    std::vector<std::unique_ptr<UdpBinding>> bindings;
    QStringList errors;
    for (const Ipv4Address& address : addresses) {
        QString error;
        auto binding = UdpBinding::Open(
            address, port,
            [this](std::span<const std::uint8_t> datagram, Ipv4Address from,
                   std::uint16_t fromPort) { HandleDatagram(datagram, from, fromPort); },
            &error);
        if (binding) {
            bindings.push_back(std::move(binding));
        } else {
            errors << error;
        }
    }
    // The interfaces of the addresses that are bound and can carry a card's
    // broadcast answer; set before the receiver opens, since it reads them.
    std::vector<int> broadcastInterfaces;
    const std::vector<HostAddress> host = HostAddresses();
    for (const auto& binding : bindings) {
        for (const HostAddress& entry : host) {
            if (entry.address == binding->localAddress() && entry.broadcast &&
                std::find(broadcastInterfaces.begin(), broadcastInterfaces.end(),
                          entry.interfaceIndex) == broadcastInterfaces.end()) {
                broadcastInterfaces.push_back(entry.interfaceIndex);
            }
        }
    }
    {
        std::lock_guard lock(m_bindingsMutex);
        m_broadcastInterfaces = broadcastInterfaces;
    }
    std::unique_ptr<UdpBinding> receiver;
    if (!broadcastInterfaces.empty()) {
        QString error;
        receiver = UdpBinding::OpenBroadcastReceiver(
            port,
            [this](std::span<const std::uint8_t> datagram, Ipv4Address from, std::uint16_t fromPort,
                   int interfaceIndex) { OnBroadcast(datagram, from, fromPort, interfaceIndex); },
            &error);
        if (!receiver) {
            errors << error + QStringLiteral(" (answers sent by broadcast are not heard)");
        }
    }
    {
        std::lock_guard lock(m_bindingsMutex);
        m_bindings = std::move(bindings);
        m_broadcastReceiver = std::move(receiver);
    }
    return {errors.isEmpty(), errors.join(QLatin1Char('\n'))};
}

void ScreenLink::Deactivate() {
    std::lock_guard activation(m_activationMutex);
    DeactivateLocked();
}

void ScreenLink::DeactivateLocked() {
    std::vector<std::unique_ptr<UdpBinding>> old;
    std::unique_ptr<UdpBinding> oldReceiver;
    {
        std::lock_guard lock(m_bindingsMutex);
        old.swap(m_bindings);
        oldReceiver.swap(m_broadcastReceiver);
    }
    // Destroying a binding joins its receive thread, outside the bindings lock.
    old.clear();
    oldReceiver.reset();
}

bool ScreenLink::IsActive() const {
    std::lock_guard lock(m_bindingsMutex);
    return !m_bindings.empty();
}

std::vector<Ipv4Address> ScreenLink::BoundAddresses() const {
    std::lock_guard lock(m_bindingsMutex);
    std::vector<Ipv4Address> result;
    for (const auto& binding : m_bindings) {
        result.push_back(binding->localAddress());
    }
    return result;
}

bool ScreenLink::HearsBroadcasts() const {
    std::lock_guard lock(m_bindingsMutex);
    return m_broadcastReceiver != nullptr;
}

void ScreenLink::SetSendFault(SendFault fault) {
    std::lock_guard lock(m_bindingsMutex);
    m_sendFault = std::move(fault);
}

ScreenLink::SendOutcome ScreenLink::SendThroughBindings(const Command& command) {
    std::lock_guard lock(m_bindingsMutex);
    SendOutcome outcome;
    for (const auto& binding : m_bindings) {
        ++outcome.bindings;
        const bool refused = m_sendFault && m_sendFault(binding->localAddress());
        if (!refused &&
            binding->SendTo(m_config.target, m_config.CardPort(m_screen), command.bytes)) {
            ++outcome.sent;
        } else {
            ++m_sendFailures;
        }
    }
    return outcome;
}

bool ScreenLink::Transact(const Command& command, const WaitBudget& budget) {
    std::lock_guard exchange(m_exchangeMutex);
    const int attempts = std::max(budget.attempts, 1);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Armed before the datagram leaves, so an immediate reply is judged by it.
        m_reply.Arm(command.awaited, command.seq);
        if (SendThroughBindings(command).bindings == 0) {
            // Inactive: there is nothing to send through and nothing to hear.
            return false;
        }
        // Even when no copy left, the attempt takes its time: a send refused
        // now (a full queue, a cable replugged, an interface coming back) often
        // goes through a moment later, and the budget is what the user allows.
        if (m_reply.WaitArrived(budget.PerAttempt())) {
            return true;
        }
    }
    return false;
}

int ScreenLink::SendUnanswered(const Command& command) {
    std::lock_guard exchange(m_exchangeMutex);
    m_reply.Arm(command.awaited, command.seq);
    return SendThroughBindings(command).sent;
}

CommandBuffer::SeqClaim ScreenLink::SeqClaimFor(int awaited) {
    // After a whole round of refusals, quiet bytes are taken too: better a
    // byte that a very late answer might still reach than none at all.
    return [this, awaited, refused = 0](std::uint8_t seq) mutable {
        if (m_reply.Claim(seq, awaited, refused >= 256)) {
            return true;
        }
        ++refused;
        return false;
    };
}

int ScreenLink::Post(const Command& command) {
    return SendThroughBindings(command).bindings;
}

void ScreenLink::Retire(std::uint8_t seq, bool lateAnswers) {
    const auto now = std::chrono::steady_clock::now();
    m_reply.Release(seq, lateAnswers ? now + kLateAnswerWindow : now);
}

int ScreenLink::OpenExchange(const Command& command) {
    if (!m_openExchange.owns_lock()) {
        m_openExchange.lock();
    }
    m_reply.Arm(command.awaited, command.seq);
    return SendThroughBindings(command).bindings;
}

void ScreenLink::CloseExchange() {
    if (m_openExchange.owns_lock()) {
        m_openExchange.unlock();
    }
}

bool ScreenLink::WaitReplies(std::chrono::steady_clock::time_point until, bool watchExchange,
                             std::vector<std::uint8_t>& answered) {
    return m_reply.WaitReplies(until, watchExchange, answered);
}

LinkStatus ScreenLink::BeginSearch(const Command& search) {
    std::lock_guard exchange(m_exchangeMutex);
    LinkStatus status = EnsureActive();
    ClearCards();
    m_reply.Arm(kAwaitCardInfo);
    if (SendThroughBindings(search).sent == 0 && status.ok) {
        status = {false, QStringLiteral("the search could not be sent")};
    }
    return status;
}

void ScreenLink::EndSearch() {
    Deactivate();
}

CardList ScreenLink::Cards() const {
    std::lock_guard lock(m_cardsMutex);
    return m_cards;
}

void ScreenLink::ClearCards() {
    std::lock_guard lock(m_cardsMutex);
    m_cards.clear();
}

ListenerStats ScreenLink::stats() const {
    ListenerStats stats;
    stats.received = m_received.load();
    stats.matched = m_reply.matches();
    stats.cardsAdded = m_cardsAdded.load();
    stats.ownIgnored = m_ownIgnored.load();
    stats.broadcastsHeard = m_broadcastsHeard.load();
    stats.sendFailures = m_sendFailures.load();
    return stats;
}

void ScreenLink::OnBroadcast(std::span<const std::uint8_t> datagram, Ipv4Address from,
                             std::uint16_t fromPort, int interfaceIndex) {
    {
        // The receiver hears every interface; only those of the bound addresses
        // belong to this listener, as they would to a binding's own socket.
        std::lock_guard lock(m_bindingsMutex);
        if (std::find(m_broadcastInterfaces.begin(), m_broadcastInterfaces.end(), interfaceIndex) ==
            m_broadcastInterfaces.end()) {
            return;
        }
    }
    ++m_broadcastsHeard;
    HandleDatagram(datagram, from, fromPort);
}

void ScreenLink::HandleDatagram(std::span<const std::uint8_t> datagram, Ipv4Address from,
                                std::uint16_t fromPort) {
    ApplyReceiveRules(datagram, from, fromPort);
    // Counted once the datagram has had its effect, so whoever watches the count
    // sees that effect too.
    ++m_received;
}

void ScreenLink::ApplyReceiveRules(std::span<const std::uint8_t> datagram, Ipv4Address from,
                                   std::uint16_t fromPort) {
    // The receive area holds 520 bytes; anything beyond is never looked at.
    if (datagram.size() > static_cast<std::size_t>(kReceiveArea)) {
        datagram = datagram.first(kReceiveArea);
    }
    if (m_reply.awaited() != kAwaitCardInfo) {
        m_reply.Offer(datagram);
        return;
    }
    // The station's own Search, heard on its own listener, comes from one of its
    // bindings: same address and the station port. A card on the same host (a
    // simulator) shares the address but answers from its card port.
    {
        std::lock_guard lock(m_bindingsMutex);
        const bool own =
            fromPort == m_config.StationPort(m_screen) &&
            std::find(m_ownAddresses.begin(), m_ownAddresses.end(), from) != m_ownAddresses.end();
        if (own) {
            ++m_ownIgnored;
            return;
        }
    }
    const std::optional<CardInfo> info = ParseCardInfo(datagram);
    if (!info) {
        return;
    }
    CardEntry entry{CardEntryText(*info), info->record};
    std::lock_guard lock(m_cardsMutex);
    if (m_cards.size() >= static_cast<std::size_t>(kMaxCards)) {
        return;
    }
    const bool known = std::any_of(m_cards.begin(), m_cards.end(),
                                   [&](const CardEntry& e) { return e.id == entry.id; });
    if (!known) {
        m_cards.push_back(std::move(entry));
        ++m_cardsAdded;
    }
}
