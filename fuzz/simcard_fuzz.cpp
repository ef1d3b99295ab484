// The simulated card's datagram handler: every command, any bytes, in any order.
// The card takes its MAC from the first datagram so that the rest are for it.

#include "FuzzSupport.h"
#include "SimDatagrams.h"

#include "SimCard.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto datagrams = SplitDatagrams(data, size);
    if (datagrams.empty()) {
        return 0;
    }
    SimCardSpec setup;
    if (datagrams.front().size() >= 8) {
        std::copy_n(datagrams.front().begin() + 2, 6, setup.mac.begin());
    }
    SimCard card(setup);
    for (const auto& datagram : datagrams) {
        const int swapsBefore = card.state().swaps;
        const SimCard::Outcome outcome = card.Handle(datagram);
        FUZZ_CHECK(outcome.addressed || outcome.replies.empty());
        for (const auto& reply : outcome.replies) {
            FUZZ_CHECK(reply.size() >= 2 && reply[0] == reply[1]);
        }
        if (card.state().swaps != swapsBefore) {
            FUZZ_CHECK(!card.state().displayed.isNull());
        }
        FUZZ_CHECK(card.flash().size() <= SimCard::kFlashSize);
    }
    card.InfoRecord();
    return 0;
}
