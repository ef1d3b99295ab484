#include "CardBank.h"

#include <QDir>
#include <QFile>

#include <algorithm>

CardBank::CardBank(BankOptions options) : m_options(options), m_random(options.seed) {}

CardBank::~CardBank() {
    Stop();
}

void CardBank::AddCard(const SimCardSpec& setup) {
    std::lock_guard lock(m_mutex);
    auto card = std::make_unique<SimCard>(setup);
    for (auto& existing : m_cards) {
        if (existing->mac() == setup.mac) {
            existing = std::move(card);
            return;
        }
    }
    m_cards.push_back(std::move(card));
}

LinkStatus CardBank::Start() {
    if (!m_options.bindAddress.isLoopback() && !m_options.allowNonLoopback) {
        return {false, QStringLiteral("refusing to use %1: not a loopback address (pass "
                                      "--allow-non-loopback to use a real network)")
                           .arg(m_options.bindAddress.toString())};
    }
    if (m_options.answerBroadcast && m_options.bindAddress.isLoopback()) {
        return {false, QStringLiteral("refusing to answer by broadcast on %1: only with a "
                                      "non-loopback address inside a network made for it")
                           .arg(m_options.bindAddress.toString())};
    }
    Stop();
    std::array<std::unique_ptr<UdpBinding>, 3> bindings;
    std::array<std::unique_ptr<UdpBinding>, 3> receivers;
    LinkConfig ports;
    ports.portOffset = m_options.portOffset;
    for (ScreenId screen : kAllScreens) {
        const int index = ScreenIndex(screen);
        QString error;
        bindings[static_cast<std::size_t>(index)] = UdpBinding::Open(
            m_options.bindAddress, ports.CardPort(screen),
            [this, index](std::span<const std::uint8_t> datagram, Ipv4Address from,
                          std::uint16_t fromPort) { OnDatagram(index, datagram, from, fromPort); },
            &error);
        if (!bindings[static_cast<std::size_t>(index)]) {
            return {false, error};
        }
    }
    // A socket bound to one address never sees broadcasts, and the station
    // broadcasts its commands; loopback carries no broadcasts, and a wildcard
    // bind hears them already.
    if (!m_options.bindAddress.isLoopback() && m_options.bindAddress != Ipv4Address{0}) {
        m_interfaceIndex = 0;
        for (const HostAddress& entry : HostAddresses()) {
            if (entry.address == m_options.bindAddress) {
                m_interfaceIndex = entry.interfaceIndex;
            }
        }
        for (ScreenId screen : kAllScreens) {
            const int index = ScreenIndex(screen);
            QString error;
            receivers[static_cast<std::size_t>(index)] = UdpBinding::OpenBroadcastReceiver(
                ports.CardPort(screen),
                [this, index](std::span<const std::uint8_t> datagram, Ipv4Address from,
                              std::uint16_t fromPort, int interfaceIndex) {
                    if (interfaceIndex == m_interfaceIndex) {
                        OnDatagram(index, datagram, from, fromPort);
                    }
                },
                &error);
            if (!receivers[static_cast<std::size_t>(index)]) {
                return {false, error};
            }
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_bindings = std::move(bindings);
        m_broadcastReceivers = std::move(receivers);
        m_stopping = false;
        m_handled = 0;
    }
    m_delivery = std::thread([this] { DeliveryLoop(); });
    return {};
}

void CardBank::Stop() {
    std::array<std::unique_ptr<UdpBinding>, 3> old;
    std::array<std::unique_ptr<UdpBinding>, 3> oldReceivers;
    {
        std::lock_guard lock(m_mutex);
        old.swap(m_bindings);
        oldReceivers.swap(m_broadcastReceivers);
        m_stopping = true;
        m_pending.clear();
    }
    m_changed.notify_all();
    for (auto& binding : old) {
        binding.reset(); // joins its receive thread
    }
    for (auto& receiver : oldReceivers) {
        receiver.reset();
    }
    if (m_delivery.joinable()) {
        m_delivery.join();
    }
}

bool CardBank::running() const {
    std::lock_guard lock(m_mutex);
    return m_bindings[0] != nullptr;
}

SimCard* CardBank::Find(const MacAddress& mac) {
    for (auto& card : m_cards) {
        if (card->mac() == mac) {
            return card.get();
        }
    }
    return nullptr;
}

const SimCard* CardBank::Find(const MacAddress& mac) const {
    return const_cast<CardBank*>(this)->Find(mac);
}

std::vector<MacAddress> CardBank::Macs() const {
    std::lock_guard lock(m_mutex);
    std::vector<MacAddress> macs;
    for (const auto& card : m_cards) {
        macs.push_back(card->mac());
    }
    return macs;
}

std::optional<CardState> CardBank::Card(const MacAddress& mac) const {
    std::lock_guard lock(m_mutex);
    const SimCard* card = Find(mac);
    if (card == nullptr) {
        return std::nullopt;
    }
    return card->state();
}

QImage CardBank::Displayed(const MacAddress& mac) const {
    std::lock_guard lock(m_mutex);
    const SimCard* card = Find(mac);
    return card == nullptr ? QImage() : card->state().displayed;
}

std::vector<std::uint8_t> CardBank::Flash(const MacAddress& mac) const {
    std::lock_guard lock(m_mutex);
    const SimCard* card = Find(mac);
    return card == nullptr ? std::vector<std::uint8_t>() : card->flash();
}

std::vector<std::uint8_t> CardBank::Memory(const MacAddress& mac) const {
    std::lock_guard lock(m_mutex);
    const SimCard* card = Find(mac);
    if (card == nullptr) {
        return {};
    }
    return {card->memory().begin(), card->memory().end()};
}

void CardBank::SetFaults(const MacAddress& mac, const CardFaults& faults) {
    std::lock_guard lock(m_mutex);
    if (SimCard* card = Find(mac)) {
        card->SetFaults(faults);
    }
}

void CardBank::SetKeptLogLines(std::size_t lines) {
    std::lock_guard lock(m_mutex);
    m_keptLogLines = std::max<std::size_t>(lines, 1);
    while (m_log.size() > m_keptLogLines) {
        m_log.pop_front();
    }
}

QStringList CardBank::Log() const {
    std::lock_guard lock(m_mutex);
    QStringList copy;
    copy.reserve(static_cast<qsizetype>(m_log.size()));
    for (const QString& line : m_log) {
        copy << line;
    }
    return copy;
}

void CardBank::SetLogSink(std::function<void(const QString&)> sink) {
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

long long CardBank::DatagramsHandled() const {
    std::lock_guard lock(m_mutex);
    return m_handled;
}

bool CardBank::WaitForDatagrams(long long count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_handled >= count; });
}

void CardBank::AddLog(const QString& line) {
    m_log.push_back(line);
    while (m_log.size() > m_keptLogLines) {
        m_log.pop_front();
    }
    if (m_sink) {
        m_sink(line);
    }
}

void CardBank::OnDatagram(int screenIndex, std::span<const std::uint8_t> datagram, Ipv4Address from,
                          std::uint16_t fromPort) {
    std::unique_lock lock(m_mutex);
    const QString prefix = QStringLiteral("[%1] %2:%3 ")
                               .arg(QLatin1Char(ScreenLetter(ScreenFromIndex(screenIndex))))
                               .arg(from.toString())
                               .arg(fromPort);
    bool anyAddressed = false;
    for (auto& card : m_cards) {
        if (ScreenIndex(card->screen()) != screenIndex) {
            continue;
        }
        SimCard::Outcome outcome = card->Handle(datagram);
        if (!outcome.addressed) {
            continue;
        }
        anyAddressed = true;
        QString note;
        Deliver(*card, screenIndex, from, fromPort, std::move(outcome.replies), note);
        AddLog(prefix + outcome.description + note);
    }
    if (!anyAddressed) {
        AddLog(prefix + QStringLiteral("%1 bytes for no card on this port").arg(datagram.size()));
    }
    ++m_handled;
    lock.unlock();
    m_changed.notify_all();
}

void CardBank::Deliver(const SimCard& card, int screenIndex, Ipv4Address to, std::uint16_t port,
                       std::vector<std::vector<std::uint8_t>> replies, QString& note) {
    const CardFaults& faults = card.faults();
    if (m_options.answerBroadcast && !replies.empty()) {
        to = kBroadcast;
        note += QStringLiteral(" (answered by broadcast)");
    }
    for (auto& reply : replies) {
        if (faults.dropPercent > 0 &&
            std::uniform_int_distribution<int>(0, 99)(m_random) < faults.dropPercent) {
            note += QStringLiteral(" (reply dropped)");
            continue;
        }
        const int copies = faults.duplicate ? 2 : 1;
        if (faults.duplicate) {
            note += QStringLiteral(" (reply sent twice)");
        }
        for (int copy = 0; copy < copies; ++copy) {
            if (faults.delayMs > 0) {
                m_pending.push_back(
                    {std::chrono::steady_clock::now() + std::chrono::milliseconds(faults.delayMs),
                     screenIndex, to, port, reply});
            } else {
                SendNow(screenIndex, to, port, reply);
            }
        }
        if (faults.delayMs > 0) {
            note += QStringLiteral(" (reply delayed %1 ms)").arg(faults.delayMs);
            m_changed.notify_all();
        }
    }
}

void CardBank::SendNow(int screenIndex, Ipv4Address to, std::uint16_t port,
                       const std::vector<std::uint8_t>& bytes) {
    const auto& binding = m_bindings[static_cast<std::size_t>(screenIndex)];
    if (binding) {
        binding->SendTo(to, port, bytes);
    }
}

void CardBank::DeliveryLoop() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_pending.empty()) {
            m_changed.wait(lock);
            continue;
        }
        const auto earliest =
            std::min_element(m_pending.begin(), m_pending.end(),
                             [](const Pending& a, const Pending& b) { return a.due < b.due; });
        if (earliest->due > std::chrono::steady_clock::now()) {
            // A copy: the queue may grow (and move) while the lock is released.
            const auto due = earliest->due;
            m_changed.wait_until(lock, due);
            continue;
        }
        const Pending due = std::move(*earliest);
        m_pending.erase(earliest);
        SendNow(due.screenIndex, due.to, due.port, due.bytes);
    }
}

IoStatus CardBank::SaveOutputs(const QString& directory) const {
    if (!QDir().mkpath(directory)) {
        return IoStatus::Fail(WriteFailedMessage(directory));
    }
    std::lock_guard lock(m_mutex);
    const QDir dir(directory);
    for (const auto& card : m_cards) {
        const QString base = MacText(card->mac());
        const QImage& picture = card->state().displayed;
        if (!picture.isNull()) {
            const QString path = dir.filePath(base + QStringLiteral(".png"));
            if (!picture.save(path, "PNG")) {
                return IoStatus::Fail(WriteFailedMessage(path));
            }
        }
        if (!card->flash().empty()) {
            const QString path = dir.filePath(base + QStringLiteral(".flash.bin"));
            QFile file(path);
            const auto& flash = card->flash();
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(reinterpret_cast<const char*>(flash.data()),
                           static_cast<qint64>(flash.size())) !=
                    static_cast<qint64>(flash.size())) {
                return IoStatus::Fail(WriteFailedMessage(path));
            }
        }
    }
    return IoStatus::Ok();
}
