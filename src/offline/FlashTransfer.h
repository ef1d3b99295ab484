#pragma once

#include "link/CardOnline.h"
#include "link/MacAddress.h"
#include "link/StationLink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// Writing offline content into a card's flash: connect, offline mode, the
// blocks, disconnect.

// Where offline content lives in a card.
inline constexpr std::uint32_t kAdvertAddress = 0x1000;
inline constexpr std::uint32_t kSubtitleAddress = 0xB000;
inline constexpr int kMaxAdvertData = 40946;                  // header + data fit 40960 bytes
inline constexpr qint64 kMaxSubtitleFile = 0x800000 - 0xB000; // 8343552 bytes

// One WriteFlash: a flash address, up to 1024 payload bytes and how many of
// them count.
struct FlashBlock {
    std::uint32_t address = 0;
    QByteArray payload;
    int valid = 0;
};

struct TransferPlan {
    std::optional<FlashBlock> lead;
    std::vector<FlashBlock> full;
    std::optional<FlashBlock> partial;
    int total = 0; // the progress line's total
};

// A subtitle file at 0xB000: whole 1024-byte blocks, then the rest.
TransferPlan SubtitleTransferPlan(const QByteArray& file);
// An advertisement file (header and data) at 0x1000: a lead block with the
// header and the first 1010 data bytes, then whole blocks and the rest.
TransferPlan AdvertTransferPlan(const QByteArray& file);

// What a transfer tells the operator. Written by the transfer's thread, read
// by the user-interface thread, which shows the lines as they come.
class TransferReport {
public:
    struct Event {
        enum class Kind { Line, Progress, Failure } kind = Kind::Line;
        QString text;
        int sent = 0;
        int total = 0;
    };
    void Line(const QString& text);
    // Replaces the progress line: "总包数N已发送k".
    void Progress(int sent, int total);
    // A card's failure ("->连接超时！"...): a log line, or a message box when
    // the caller shows no log.
    void Failure(const QString& text);
    std::vector<Event> Take();

private:
    std::mutex m_mutex;
    std::vector<Event> m_events;
};

enum class TransferOutcome { Done, ConnectFailed, OfflineModeFailed, BlockFailed, Cancelled };

struct TransferCard {
    ScreenId screen = ScreenId::h;
    int index = 0; // in the screen's card list
    MacAddress mac{};
};

// Writes the plan into one card. Runs on any thread but one at a time per
// screen (the listener's exchanges are serialised anyway). A block that is not
// acknowledged after its tries ends the card's transfer: nothing more is
// written and the card is not told to play, so it never runs half a file as
// if it were whole. `cancel` is looked at between blocks; a cancelled card is
// disconnected with "no" so it does not play what it holds.
TransferOutcome OfflineTransfer(StationLink& link, CardOnline& online, const TransferCard& card,
                                const TransferPlan& plan, bool startOffline,
                                bool reportDisconnectTimeout, TransferReport& report,
                                const std::atomic<bool>& cancel);
