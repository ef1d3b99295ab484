#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <vector>

// Turns a rendered screen frame into the bit planes the controller cards clock
// into their LED modules. Scan folding and polarities are applied by the cards
// themselves; the live encoding only needs the row interleave N (RowsPerGroup).

// How a screen organises its colours. The screen description carries it as a
// text (see ColourKindText); the encoders only need the class.
enum class ColourKind { Single, Dual, Full };

// Colour selection of the screen (0 "单色", 1 "双色", anything else "三色") to
// the text the link keeps: "同步+单色(桌面)", "同步+双色(桌面)", "同步+全彩(桌面)".
QString ColourKindText(int screenStyle);
// "同步+全彩" and "同步+全彩(桌面)" are full colour, "同步+双色" and
// "同步+双色(桌面)" dual colour, every other text single colour.
ColourKind ColourKindOf(const QString& text);
// Planes a live frame of this kind fills and sends: 1, or 2 for dual and full colour.
int PlaneCount(ColourKind kind);

// The ten entries of the scan selection ("16扫 直行" ... "4扫  16列下折1次").
QStringList ScanEntries();
struct ScanArrangement {
    QString scan; // "16扫", "8扫", "4扫"
    QString fold; // "直行", "8列上折1次", ...
    bool operator==(const ScanArrangement&) const = default;
};
// Scan and fold texts of a scan index; an index outside 0..9 is "16扫" "直行".
ScanArrangement ScanArrangementOf(int scanIndex);
// N: the scan count times (folds + 1). 16 for indices 0, 2, 3, 6, 7 and any
// other value, 8 for 1, 4, 5, 8, 9.
int RowsPerGroup(int scanIndex);

// Bytes of one data plane a live transfer sends, from the scan and fold texts and
// the frame width W. Combinations the cards do not define keep the previous
// value (passed in). For every selectable scan entry the result is N × W.
int PlaneLength(const QString& scan, const QString& fold, int width, int previous);

// The live data planes of one screen. The planes persist from frame to frame:
// bits the encoder does not write keep what they held, as the cards expect.
// Each plane is its own run of bytes sized from N × W, so a line wider than the
// screen never spills from plane 1 into plane 2.
// Owned and used by one thread at a time (the worker's sender of one screen).
class FrameStore {
public:
    // Grows both planes to at least `bytes` (new bytes are zero); never shrinks,
    // so steady-state encoding allocates nothing.
    void Reserve(std::size_t bytes);
    std::size_t Capacity() const { return m_plane1.size(); }
    // Plane 1 or 2, the whole reserved run.
    std::span<std::uint8_t> Plane(int plane);
    std::span<const std::uint8_t> Plane(int plane) const;

private:
    std::vector<std::uint8_t> m_plane1;
    std::vector<std::uint8_t> m_plane2;
};

// Live encoding, row-group interleaved: pixel (x, y) with g = y / N, r = y % N
// goes to byte r × W + x, in bit g (single and dual colour; plane 2 takes green
// in dual colour) or bits 2g (red) and 2g + 1 (blue) of plane 1 and bit 2g of
// plane 2 (green) in full colour. A channel is lit at 128 or more. Rows whose bit
// would be 8 or higher are not encoded. Only the addressed bits change.
// `frame` is a value the caller owns (the renderer never draws into a frame it
// has handed over), in card orientation, Format_RGB888 (other formats are
// converted). Called on the worker's sender of the frame's screen.
void EncodeLiveFrame(const QImage& frame, ColourKind kind, int rowsPerGroup, FrameStore& store);

// Offline encoding, linear: pixels row by row, eight to a byte from bit 0, rows
// not padded; red pass, then for dual colour a green pass starting on the next
// byte. Each pass takes (W × H + 7) / 8 bytes. Full colour writes nothing and
// returns 0 (the buffer keeps its contents). `buffer` grows when too small.
// Returns the number of bytes written. Called on the user-interface thread.
std::size_t EncodeOfflineFrame(const QImage& frame, ColourKind kind,
                               std::vector<std::uint8_t>& buffer);
