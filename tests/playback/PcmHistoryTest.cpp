#include "playback/PcmHistory.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Frames whose left sample is their frame number and right its negative.
std::vector<qint16> Frames(qint64 first, qint64 count) {
    std::vector<qint16> out;
    for (qint64 f = first; f < first + count; ++f) {
        out.push_back(static_cast<qint16>(f));
        out.push_back(static_cast<qint16>(-f));
    }
    return out;
}

std::vector<qint16> CopyOut(const PcmHistory& history, qint64 first, qint64 count) {
    std::vector<qint16> out(static_cast<size_t>(count) * 2, 99);
    history.Copy(first, count, out.data());
    return out;
}

} // namespace

TEST(PcmHistoryTest, KeepsTheNewestFramesAcrossTheWrap) {
    PcmHistory history(8);
    history.Reset(100);
    const std::vector<qint16> a = Frames(100, 5);
    const std::vector<qint16> b = Frames(105, 6);
    history.Append(a.data(), 5);
    history.Append(b.data(), 6);
    EXPECT_EQ(history.FirstFrame(), 103);
    EXPECT_EQ(history.EndFrame(), 111);
    EXPECT_EQ(CopyOut(history, 103, 8), Frames(103, 8));
    // Frames no longer or not yet held read as silence.
    std::vector<qint16> expected = Frames(101, 4);
    expected[0] = expected[1] = expected[2] = expected[3] = 0;
    EXPECT_EQ(CopyOut(history, 101, 4), expected);
    expected = Frames(109, 4);
    expected[4] = expected[5] = expected[6] = expected[7] = 0;
    EXPECT_EQ(CopyOut(history, 109, 4), expected);
}

TEST(PcmHistoryTest, AppendLongerThanTheRingKeepsItsTail) {
    PcmHistory history(4);
    history.Reset(0);
    const std::vector<qint16> many = Frames(0, 10);
    history.Append(many.data(), 10);
    EXPECT_EQ(history.FirstFrame(), 6);
    EXPECT_EQ(CopyOut(history, 6, 4), Frames(6, 4));
}

TEST(PcmHistoryTest, TruncateDropsTheFramesFromThereOn) {
    PcmHistory history(8);
    history.Reset(10);
    const std::vector<qint16> frames = Frames(10, 6);
    history.Append(frames.data(), 6);
    history.TruncateAt(13);
    EXPECT_EQ(history.EndFrame(), 13);
    EXPECT_EQ(history.FirstFrame(), 10);
    const std::vector<qint16> more = Frames(13, 2);
    history.Append(more.data(), 2);
    EXPECT_EQ(CopyOut(history, 10, 5), Frames(10, 5));
    // Before everything held: nothing is left.
    history.TruncateAt(5);
    EXPECT_EQ(history.FirstFrame(), 5);
    EXPECT_EQ(history.EndFrame(), 5);
}
