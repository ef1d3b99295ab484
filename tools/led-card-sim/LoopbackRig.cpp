#include "LoopbackRig.h"

LoopbackRig::LoopbackRig(const std::vector<SimCardSpec>& cards, unsigned seed) {
    // Another process may take a probed port before we bind it; try again then.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::optional<int> offset = ProbeFreePortOffset(kLoopback);
        if (!offset) {
            m_error = QStringLiteral("no free port offset on 127.0.0.1");
            continue;
        }
        BankOptions options;
        options.portOffset = *offset;
        options.seed = seed;
        auto bank = std::make_unique<CardBank>(options);
        for (const SimCardSpec& card : cards) {
            bank->AddCard(card);
        }
        const LinkStatus started = bank->Start();
        if (!started) {
            m_error = started.message;
            continue;
        }
        auto link = std::make_unique<StationLink>(LinkConfig::Loopback(*offset));
        bool bound = true;
        for (ScreenId screen : kAllScreens) {
            const LinkStatus status = link->screen(screen).Activate();
            if (!status) {
                m_error = status.message;
                bound = false;
                break;
            }
        }
        if (!bound) {
            continue;
        }
        m_offset = *offset;
        m_bank = std::move(bank);
        m_link = std::move(link);
        m_error.clear();
        return;
    }
}

LoopbackCards StartLoopbackCards(const std::vector<SimCardSpec>& cards) {
    LoopbackCards out;
    // Another process may take a probed port before the cards bind it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::optional<int> offset = ProbeFreePortOffset(kLoopback);
        if (!offset) {
            out.error = QStringLiteral("no free port offset on 127.0.0.1");
            continue;
        }
        BankOptions options;
        options.portOffset = *offset;
        auto bank = std::make_unique<CardBank>(options);
        for (const SimCardSpec& card : cards) {
            bank->AddCard(card);
        }
        const LinkStatus started = bank->Start();
        if (!started) {
            out.error = started.message;
            continue;
        }
        out.offset = *offset;
        out.bank = std::move(bank);
        out.error.clear();
        break;
    }
    return out;
}

SimCardSpec TestCard(int number, ScreenId screen) {
    SimCardSpec setup;
    setup.mac = {0x02,
                 0x00,
                 0x00,
                 0x00,
                 static_cast<std::uint8_t>(number >> 8),
                 static_cast<std::uint8_t>(number & 0xFF)};
    setup.screen = screen;
    return setup;
}
