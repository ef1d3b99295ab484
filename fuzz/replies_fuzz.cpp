// Every datagram a card may send back: the reply texts under each awaited code,
// the listener's reply matching and the card information datagram of Search.

#include "FuzzSupport.h"

#include "link/Commands.h"
#include "link/LinkReply.h"
#include "link/Replies.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> datagram(data, size);
    // The station looks at no more than its receive area.
    const std::span<const std::uint8_t> received =
        datagram.first(std::min<std::size_t>(size, kReceiveArea));

    static const int kCodes[] = {kAwaitCardInfo,
                                 kAwaitConnect,
                                 kAwaitDisconnect,
                                 kAwaitWritten,
                                 kAwaitSwapped,
                                 kAwaitParameters,
                                 kAwaitSyncMode,
                                 kAwaitOfflineMode,
                                 kAwaitAssigned,
                                 kAwaitNothing,
                                 -1,
                                 255};
    // The sequence byte a sender expects: the datagram's last byte, so matching
    // acknowledgements are reached.
    const int seq = size > 0 ? data[size - 1] : 0;
    for (int code : kCodes) {
        const bool matched = MatchesReply(code, seq, received);
        if (code == kAwaitCardInfo || code == kAwaitNothing || code < 0 || code == 255) {
            FUZZ_CHECK(!matched);
        }
        LinkReply reply;
        reply.Arm(code, static_cast<std::uint8_t>(seq));
        FUZZ_CHECK(reply.Offer(received) == MatchesReply(code, reply.expectedSeq(), received));
        FUZZ_CHECK(reply.arrived() == (reply.matches() == 1));
        ReplyTextFor(code);
    }

    if (const auto info = ParseCardInfo(received)) {
        FUZZ_CHECK(received.size() >= static_cast<std::size_t>(kMinCardInfoBytes));
        FUZZ_CHECK(info->name.size() <= 21);
        const QString entry = CardEntryText(*info);
        // The card list entry addresses the card it was made from.
        FUZZ_CHECK(MacFromEntry(entry) == info->mac);
        ModelLabel(info->modelCode);
    }
    return 0;
}
