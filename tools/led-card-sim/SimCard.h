#pragma once

#include "link/MacAddress.h"

#include "core/ScreenId.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// One simulated controller card: the card's side of the wire protocol, without
// sockets. It keeps display memory, flash and its screen parameter block, and
// answers as the cards do.

using CardParams = std::array<std::uint8_t, 512>;

// A parameter block as a card holds it: card width / 8 at 0-1, height at 2-3,
// scan code at 4 (from a scan index 0..9), card type at 6 (colour style 0 → 1
// single, 1 → 2 dual, other → 8 full), OE polarity at 7, data polarity at 10,
// trailer 55 AA 55 AA. Enough for the card to decode its planes.
CardParams MakeCardParams(int cardWidth, int cardHeight, int scanIndex, int colourStyle,
                          int oePolarity = 0, int dataPolarity = 0);
// Rows interleaved into one byte per group, from a block scan code.
int RowsFromScanCode(std::uint8_t scanCode);

// Faults a card can be told to show.
struct CardFaults {
    int dropPercent = 0;           // each reply is lost with this probability
    int stopAfterSlices = -1;      // after k WriteData slices the card answers nothing
    int stopAfterFlash = -1;       // after k WriteFlash blocks the card answers nothing
    bool ignoreModeSwitch = false; // answers Connect but not SyncMode/OfflineMode
    bool ignoreSwap = false;       // SwapBuffer is lost: not taken, not answered
    bool wrongSeq = false;         // acknowledgements carry the sequence byte + 1
    int delayMs = 0;               // every reply leaves this late
    bool duplicate = false;        // every reply is sent twice
};

struct SimCardSpec {
    MacAddress mac{};
    QString name = QStringLiteral("舞台屏");
    int modelCode = 7;
    ScreenId screen = ScreenId::h;
    CardParams params = MakeCardParams(256, 32, 0, 1);
    CardFaults faults;
};

enum class CardMode { Unknown, Sync, Offline };

// What a test may look at.
struct CardState {
    SimCardSpec setup; // screen and params as they are now
    bool connected = false;
    CardMode mode = CardMode::Unknown;
    int brightness = -1;
    bool startOfflineOnDisconnect = false;
    int disconnects = 0;
    bool answering = true; // false once a slice limit made the card fall silent
    // Commands taken; the same datagram again (a retry after a late answer)
    // counts once.
    long long dataSlices = 0;  // WriteData commands taken
    long long flashBlocks = 0; // WriteFlash commands taken
    int swaps = 0;
    int effect = 0;
    int speed = 0;
    int stay = 0;
    int extent = 0;
    QImage displayed; // RGB888, the picture after the last SwapBuffer
};

class SimCard {
public:
    explicit SimCard(SimCardSpec setup);

    struct Outcome {
        bool addressed = false;                         // the datagram was for this card
        QString description;                            // readable account for the log
        std::vector<std::vector<std::uint8_t>> replies; // before faults of delivery
    };
    // Handles one datagram that arrived on this card's port. Delivery faults
    // (drop, delay, duplicate) are applied by the bank; the card applies the
    // others.
    Outcome Handle(std::span<const std::uint8_t> datagram);

    const MacAddress& mac() const { return m_state.setup.mac; }
    ScreenId screen() const { return m_state.setup.screen; }
    const CardFaults& faults() const { return m_state.setup.faults; }
    // New faults; a card that had stopped answering answers again, and a slice
    // limit counts from now.
    void SetFaults(const CardFaults& faults);
    const CardState& state() const { return m_state; }
    const std::vector<std::uint8_t>& flash() const { return m_flash; }
    std::span<const std::uint8_t> memory() const { return m_memory; }

    // The card information datagram (520 bytes) it answers Search with.
    std::vector<std::uint8_t> InfoRecord() const;
    // Decodes display memory into a picture of `extent` × block height (an
    // extent of 0 takes the block's width). A null image when no real card could
    // show a picture that size, or when it cannot be allocated.
    QImage DecodeDisplay(int extent) const;
    // Empty when a picture for `extent` is within what the card's display
    // memory can show; otherwise why not, for the log.
    QString WhyNotShowable(int extent) const;

    static constexpr std::size_t kFlashSize = 0x800000;

private:
    QSize PictureSize(int extent) const;
    std::vector<std::uint8_t> Reply(std::uint8_t code, const QByteArray& text,
                                    const std::uint8_t* seq = nullptr) const;

    CardState m_state;
    std::vector<std::uint8_t> m_memory;
    std::vector<std::uint8_t> m_flash;
    bool m_silent = false;                   // stopped answering (stopAfterSlices)
    std::vector<std::uint8_t> m_lastCommand; // the last WriteData, SwapBuffer or WriteFlash
    long long m_sliceBase = 0;               // slices taken before the faults were set
    long long m_flashBase = 0;               // flash blocks taken before the faults were set
};
