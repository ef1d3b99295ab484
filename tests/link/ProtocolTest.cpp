#include "link/Commands.h"
#include "link/DataSlices.h"
#include "link/LinkReply.h"
#include "link/MacAddress.h"
#include "link/Replies.h"

#include "core/TextFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const MacAddress kMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Gbk(const char* utf8) {
    const QByteArray bytes = EncodeGbk(QString::fromUtf8(utf8));
    return Bytes(bytes.begin(), bytes.end());
}

Bytes ReplyBytes(const char* text, std::optional<std::uint8_t> seq = std::nullopt) {
    Bytes reply = Concat({{0xEE, 0xEE}, Gbk(text)});
    if (seq) {
        reply.push_back(*seq);
    }
    return reply;
}

Bytes Cut(Bytes bytes, std::size_t count) {
    bytes.erase(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end());
    return bytes;
}

} // namespace

TEST(MacAddressTest, TextAndEntryParsing) {
    EXPECT_EQ(MacText(kMac), QStringLiteral("00-1A-2B-3C-4D-5E"));
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:00-1A-2B-3C-4D-5E 舞台屏->Q1卡")), kMac);
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:ff-0a-2B-3C-4D-5E")),
              (MacAddress{0xFF, 0x0A, 0x2B, 0x3C, 0x4D, 0x5E}));
    // An unparsable field gives 0; the others still count.
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:00-ZZ-2B-3C-4D-5E")),
              (MacAddress{0x00, 0x00, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:00-1A-2B")),
              (MacAddress{0x00, 0x1A, 0x2B, 0, 0, 0}));
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:00-1A-2B-3C-4D-5")),
              (MacAddress{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x05}));
    EXPECT_EQ(MacFromEntry(QString()), MacAddress{});
    EXPECT_EQ(MacFromEntry(QStringLiteral("mac:1 -1A-2B-3C-4D-5E")),
              (MacAddress{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(ParseMacText(QStringLiteral("00:1a:2b:3c:4d:5e")), kMac);
    EXPECT_FALSE(ParseMacText(QStringLiteral("00-1A-2B-3C-4D")).has_value());
    EXPECT_FALSE(ParseMacText(QStringLiteral("00-1A-2B-3C-4D-5G")).has_value());
    EXPECT_FALSE(ParseMacText(QStringLiteral("00_1A-2B-3C-4D-5E")).has_value());
}

TEST(CommandBufferTest, ShortCommandsByteForByte) {
    PacketSeq seq;
    CommandBuffer buffer(seq);
    const Command search = buffer.Search();
    EXPECT_EQ(search.bytes, (Bytes{0x07, 0x07}));
    EXPECT_EQ(search.awaited, kAwaitCardInfo);

    const Command connect = buffer.Connect(kMac);
    ASSERT_EQ(connect.bytes.size(), 20u);
    EXPECT_EQ(Bytes(connect.bytes.begin(), connect.bytes.begin() + 8),
              (Bytes{0xA1, 0xA1, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(connect.awaited, kAwaitConnect);
    EXPECT_FALSE(connect.seq.has_value());

    const Command sync = buffer.SyncMode(kMac);
    EXPECT_EQ(Bytes(sync.bytes.begin(), sync.bytes.begin() + 12),
              (Bytes{0x09, 0x09, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0, 0, 0, 0}));
    EXPECT_EQ(sync.awaited, kAwaitSyncMode);
    const Command offline = buffer.OfflineMode(kMac);
    EXPECT_EQ(Bytes(offline.bytes.begin(), offline.bytes.begin() + 12),
              (Bytes{0x0A, 0x0A, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0, 0, 0, 0}));
    EXPECT_EQ(offline.awaited, kAwaitOfflineMode);

    const Command bright = buffer.Brightness(kMac, 16);
    EXPECT_EQ(bright.bytes.size(), 20u);
    EXPECT_EQ(Bytes(bright.bytes.begin(), bright.bytes.begin() + 9),
              (Bytes{0x18, 0x18, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 16}));
    EXPECT_EQ(bright.awaited, kAwaitNothing);

    const Command assign = buffer.AssignScreen(kMac, 2);
    EXPECT_EQ(Bytes(assign.bytes.begin(), assign.bytes.begin() + 10),
              (Bytes{0x19, 0x19, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 2, 2}));
    EXPECT_EQ(assign.awaited, kAwaitAssigned);
    EXPECT_EQ(seq.Peek(), 0); // none of these took a sequence byte
}

TEST(CommandBufferTest, DisconnectYesAndNoLeavesByte10) {
    PacketSeq seq;
    CommandBuffer buffer(seq);
    const Command yes = buffer.Disconnect(kMac, true);
    EXPECT_EQ(Bytes(yes.bytes.begin(), yes.bytes.begin() + 11),
              (Bytes{0xA2, 0xA2, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x79, 0x65, 0x73}));
    EXPECT_EQ(yes.awaited, kAwaitDisconnect);
    // A slice leaves its data in bytes 14.. and its address in 8..13.
    Bytes data(1024, 0x42);
    buffer.WriteData(kMac, 0x0123, data);
    const Command no = buffer.Disconnect(kMac, false);
    ASSERT_EQ(no.bytes.size(), 20u);
    EXPECT_EQ(no.bytes[8], 0x6E);
    EXPECT_EQ(no.bytes[9], 0x6F);
    EXPECT_EQ(no.bytes[10], 0x23); // as WriteData left it (address low byte again)
    EXPECT_EQ(no.bytes[14], 0x42); // unset bytes keep the slice's data
}

TEST(CommandBufferTest, WriteDataLayoutAndSequence) {
    PacketSeq seq;
    seq.Set(41);
    CommandBuffer buffer(seq);
    Bytes data(1024);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    // The fourth full slice of plane 1: unit 12.
    const Command slice = buffer.WriteData(kMac, 12, data);
    ASSERT_EQ(slice.bytes.size(), 1039u);
    EXPECT_EQ(Bytes(slice.bytes.begin(), slice.bytes.begin() + 14),
              (Bytes{0x03, 0x03, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x0C, 0x00, 0x0C, 0x00, 0x04,
                     0x00}));
    EXPECT_EQ(Bytes(slice.bytes.begin() + 14, slice.bytes.begin() + 1038), data);
    EXPECT_EQ(slice.bytes[1038], 41);
    EXPECT_EQ(slice.seq, std::optional<std::uint8_t>(41));
    EXPECT_EQ(slice.awaited, kAwaitWritten);
    EXPECT_EQ(seq.Peek(), 42);

    // A short slice: big-endian length; payload after the valid bytes keeps the
    // previous slice's bytes.
    const Command last = buffer.WriteData(kMac, 0x0208, Bytes(128, 0xFF));
    EXPECT_EQ(Bytes(last.bytes.begin() + 8, last.bytes.begin() + 14),
              (Bytes{0x08, 0x02, 0x08, 0x02, 0x00, 0x80}));
    EXPECT_EQ(last.bytes[14 + 127], 0xFF);
    EXPECT_EQ(last.bytes[14 + 128], data[128]);
    EXPECT_EQ(last.bytes[1038], 42);

    // More than a slice: only 1024 bytes go.
    const Command capped = buffer.WriteData(kMac, 0, Bytes(3000, 1));
    EXPECT_EQ(capped.bytes.size(), 1039u);
    EXPECT_EQ(capped.bytes[12], 0x04);
    EXPECT_EQ(capped.bytes[13], 0x00);
}

TEST(CommandBufferTest, SwapFlashAndParameters) {
    PacketSeq seq;
    seq.Set(254);
    CommandBuffer buffer(seq);
    const Command swap = buffer.SwapBuffer(kMac, 4, 10, 5, 0x0130);
    EXPECT_EQ(swap.bytes,
              (Bytes{0x04, 0x04, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 4, 10, 5, 0x30, 0x01, 254}));
    EXPECT_EQ(swap.awaited, kAwaitSwapped);
    EXPECT_EQ(buffer.SwapBuffer(kMac, 0, 1, 0, 100000).bytes[11], 0xFF); // clamped to 16 bits

    Bytes payload(904, 0x33);
    const Command flash = buffer.WriteFlash(kMac, 0x0000C000, payload);
    ASSERT_EQ(flash.bytes.size(), 1039u);
    EXPECT_EQ(Bytes(flash.bytes.begin(), flash.bytes.begin() + 14),
              (Bytes{0xA3, 0xA3, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x00, 0xC0, 0x00, 0x00, 0x88,
                     0x03}));
    EXPECT_EQ(flash.bytes[14 + 903], 0x33);
    EXPECT_EQ(flash.bytes[1038], 0); // 254, 255 (the swaps), then 0
    EXPECT_EQ(flash.awaited, kAwaitWritten);

    std::array<std::uint8_t, kParamBlockSize> block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i);
    }
    const Command load = buffer.LoadParameters(kMac, block);
    ASSERT_EQ(load.bytes.size(), 520u);
    EXPECT_EQ(Bytes(load.bytes.begin(), load.bytes.begin() + 8),
              (Bytes{0x08, 0x08, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), load.bytes.begin() + 8));
    EXPECT_EQ(load.awaited, kAwaitParameters);
}

TEST(PacketSeqTest, WrapsFrom255To0) {
    PacketSeq seq;
    EXPECT_EQ(seq.Take(), 0);
    seq.Set(255);
    EXPECT_EQ(seq.Take(), 255);
    EXPECT_EQ(seq.Take(), 0);
    EXPECT_EQ(seq.Peek(), 1);
    // 256 takes bring it round to where it was.
    for (int i = 0; i < 256; ++i) {
        seq.Take();
    }
    EXPECT_EQ(seq.Peek(), 1);
}

TEST(CommandBufferTest, ScreensBuildingAtOnceGetTheirOwnBytesAndEverySequenceByteOnce) {
    // The worker's senders build commands for their screens at the same time:
    // a command must carry only its own head, address and data, and no two
    // takes of the counter may return the same byte within a round.
    PacketSeq seq;
    CommandBuffer buffer(seq);
    constexpr int kSenders = 3;
    constexpr int kSlices = 300;
    constexpr int kSwaps = 100;
    std::vector<std::vector<Command>> built(kSenders);
    std::vector<std::thread> senders;
    for (int sender = 0; sender < kSenders; ++sender) {
        senders.emplace_back([&buffer, &built, sender] {
            const MacAddress mac{0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(sender)};
            const Bytes data(1024, static_cast<std::uint8_t>(0x10 + sender));
            for (int i = 0; i < kSlices + kSwaps; ++i) {
                built[static_cast<std::size_t>(sender)].push_back(
                    i < kSlices ? buffer.WriteData(mac, static_cast<std::uint16_t>(sender), data)
                                : buffer.SwapBuffer(mac, sender, sender, sender, 256));
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    std::array<int, 256> taken{};
    for (int sender = 0; sender < kSenders; ++sender) {
        const auto own = static_cast<std::uint8_t>(sender);
        for (const Command& command : built[static_cast<std::size_t>(sender)]) {
            ASSERT_TRUE(command.seq.has_value());
            ++taken[*command.seq];
            EXPECT_EQ(command.bytes.back(), *command.seq);
            EXPECT_EQ(command.bytes[7], own);
            if (command.bytes.size() == 1039u) {
                EXPECT_EQ(command.bytes[0], 0x03);
                EXPECT_EQ(command.bytes[8], own);
                EXPECT_TRUE(std::all_of(command.bytes.begin() + 14, command.bytes.end() - 1,
                                        [&](std::uint8_t b) { return b == 0x10 + own; }));
            } else {
                ASSERT_EQ(command.bytes.size(), 14u);
                EXPECT_EQ(command.bytes[0], 0x04);
                EXPECT_EQ(Bytes(command.bytes.begin() + 8, command.bytes.begin() + 11),
                          (Bytes{own, own, own}));
            }
        }
    }
    // 1200 takes from 0: four full rounds, and a fifth up to 175.
    constexpr int kTakes = kSenders * (kSlices + kSwaps);
    for (int value = 0; value < 256; ++value) {
        EXPECT_EQ(taken[static_cast<std::size_t>(value)], kTakes / 256 + (value < kTakes % 256))
            << value;
    }
    EXPECT_EQ(seq.Peek(), kTakes % 256);
}

TEST(DataSlicesTest, SliceAddressing) {
    // 8192 bytes (512 columns, N = 16): eight full slices, no short one.
    const auto eight = SlicePlane(8192, kPlane1Unit);
    ASSERT_EQ(eight.size(), 8u);
    EXPECT_EQ(eight[3], (DataSlice{3, false, 3072, 1024, 12}));
    EXPECT_EQ(eight[7].unit, 28);
    EXPECT_EQ(SliceCountsOf(8192), (SliceCounts{8, 0}));

    // 2176 bytes (272 columns, N = 8): two full slices and 128 bytes at unit 8.
    const auto odd = SlicePlane(2176, kPlane1Unit);
    ASSERT_EQ(odd.size(), 3u);
    EXPECT_EQ(odd[2], (DataSlice{2, true, 2048, 128, 8}));
    EXPECT_EQ(SliceCountsOf(2176), (SliceCounts{2, 128}));

    // Plane 2 starts at unit 50.
    const auto green = SlicePlane(2176, kPlane2Unit);
    EXPECT_EQ(green[0].unit, 50);
    EXPECT_EQ(green[1].unit, 54);
    EXPECT_EQ(green[2].unit, 58);

    EXPECT_TRUE(SlicePlane(0, 0).empty());
    EXPECT_TRUE(SlicePlane(-5, 0).empty());
    const auto tiny = SlicePlane(1, 0);
    ASSERT_EQ(tiny.size(), 1u);
    EXPECT_EQ(tiny[0], (DataSlice{0, true, 0, 1, 0}));

    // Slices cover the plane exactly once.
    const auto wide = SlicePlane(16 * 2048 + 300, 0);
    int covered = 0;
    for (const DataSlice& s : wide) {
        EXPECT_EQ(s.offset, covered);
        EXPECT_EQ(s.unit, s.offset / 256);
        covered += s.length;
    }
    EXPECT_EQ(covered, 16 * 2048 + 300);
}

TEST(ReplyMatchingTest, RulesPerAwaitedCode) {
    struct Case {
        const char* what;
        int awaited;
        int expectedSeq;
        Bytes datagram;
        bool matches;
    };
    const Case cases[] = {
        {"connect", kAwaitConnect, 0, ReplyBytes("连接成功"), true},
        {"connect with trailing bytes", kAwaitConnect, 0,
         Concat({ReplyBytes("连接成功"), {1, 2, 3}}), true},
        {"connect text cut short", kAwaitConnect, 0, Cut(ReplyBytes("连接成功"), 1), false},
        {"disconnect", kAwaitDisconnect, 0, ReplyBytes("已经断开"), true},
        {"parameters", kAwaitParameters, 0, ReplyBytes("写flash成功"), true},
        {"sync mode", kAwaitSyncMode, 0, ReplyBytes("控制卡同步模式"), true},
        {"offline mode", kAwaitOfflineMode, 0, ReplyBytes("控制卡脱机模式"), true},
        {"assigned", kAwaitAssigned, 0, ReplyBytes("设置成功"), true},
        {"sync text while awaiting offline", kAwaitOfflineMode, 0, ReplyBytes("控制卡同步模式"),
         false},
        {"connect text while awaiting disconnect", kAwaitDisconnect, 0, ReplyBytes("连接成功"),
         false},
        {"sram with seq", kAwaitWritten, 7, ReplyBytes("写入sram成功", 7), true},
        {"flash with seq", kAwaitWritten, 7, ReplyBytes("写入flash成功", 7), true},
        {"sram wrong seq", kAwaitWritten, 7, ReplyBytes("写入sram成功", 8), false},
        {"flash wrong seq", kAwaitWritten, 7, ReplyBytes("写入flash成功", 6), false},
        {"sram without seq byte", kAwaitWritten, 0, ReplyBytes("写入sram成功"), false},
        {"swap text for a write", kAwaitWritten, 7, ReplyBytes("交换成功", 7), false},
        {"swap", kAwaitSwapped, 255, ReplyBytes("交换成功", 255), true},
        {"swap wrapped seq", kAwaitSwapped, 0, ReplyBytes("交换成功", 0), true},
        {"swap wrong seq", kAwaitSwapped, 0, ReplyBytes("交换成功", 1), false},
        {"swap without seq byte", kAwaitSwapped, 0, ReplyBytes("交换成功"), false},
        {"sram for a swap", kAwaitSwapped, 7, ReplyBytes("写入sram成功", 7), false},
        {"parameters text with write flash text", kAwaitParameters, 0,
         ReplyBytes("写入flash成功", 0), false},
        {"brightness ignores everything", kAwaitNothing, 0, ReplyBytes("连接成功"), false},
        {"search is not a reply", kAwaitCardInfo, 0, ReplyBytes("连接成功"), false},
        {"unknown code", 77, 0, ReplyBytes("连接成功"), false},
        {"empty", kAwaitConnect, 0, Bytes{}, false},
        {"one byte", kAwaitWritten, 0, Bytes{0}, false},
        {"zeros", kAwaitWritten, 0, Bytes(520, 0), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesReply(c.awaited, c.expectedSeq, c.datagram), c.matches) << c.what;
    }
}

TEST(ReplyMatchingTest, FirstTwoBytesAreNeverExamined) {
    for (std::uint8_t head : {0x00, 0x04, 0xFF}) {
        Bytes reply = ReplyBytes("交换成功", 9);
        reply[0] = head;
        reply[1] = static_cast<std::uint8_t>(255 - head);
        EXPECT_TRUE(MatchesReply(kAwaitSwapped, 9, reply));
    }
}

TEST(ReplyMatchingTest, FuzzNeverMatchesWithoutTheText) {
    std::mt19937 random(1234);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t sizes[] = {0, 1, 2, 10, 15, 16, 519, 520, 521, 65507};
        Bytes datagram(sizes[round % 10]);
        for (auto& b : datagram) {
            b = static_cast<std::uint8_t>(random());
        }
        for (int code : {1, 2, 3, 4, 8, 9, 10, 25, 254, 0}) {
            ASSERT_FALSE(MatchesReply(code, static_cast<int>(random() & 0xFF), datagram));
        }
    }
}

TEST(LinkReplyTest, ArmOfferWait) {
    LinkReply reply;
    reply.Arm(kAwaitWritten, 200);
    EXPECT_EQ(reply.awaited(), kAwaitWritten);
    EXPECT_EQ(reply.expectedSeq(), 200);
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 199)));
    EXPECT_FALSE(reply.arrived());
    EXPECT_FALSE(reply.WaitArrived(std::chrono::milliseconds(5)));
    EXPECT_TRUE(reply.Offer(ReplyBytes("写入sram成功", 200)));
    EXPECT_TRUE(reply.arrived());
    EXPECT_TRUE(reply.WaitArrived(std::chrono::milliseconds(0)));
    // A retry re-arms: arrived is cleared, the expectation stays.
    reply.Arm(kAwaitWritten, 200);
    EXPECT_FALSE(reply.arrived());
    // A late reply to the previous command is judged by the new expectation.
    reply.Arm(kAwaitSyncMode);
    EXPECT_EQ(reply.expectedSeq(), 200); // kept for codes without a sequence byte
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 200)));
    EXPECT_FALSE(reply.Offer(ReplyBytes("连接成功")));
    EXPECT_TRUE(reply.Offer(ReplyBytes("控制卡同步模式")));
}

TEST(ReplyMatchingTest, SequenceRepliesNameTheirCodeAndByte) {
    struct Case {
        const char* what;
        Bytes datagram;
        std::optional<int> awaited; // empty: not a sequence reply
        std::uint8_t seq = 0;
    };
    const Case cases[] = {
        {"sram", ReplyBytes("写入sram成功", 7), kAwaitWritten, 7},
        {"flash", ReplyBytes("写入flash成功", 200), kAwaitWritten, 200},
        {"swap", ReplyBytes("交换成功", 0), kAwaitSwapped, 0},
        {"sram beyond the receive area", Concat({ReplyBytes("写入sram成功", 9), Bytes(600, 1)}),
         kAwaitWritten, 9},
        {"sram without its byte", ReplyBytes("写入sram成功"), std::nullopt},
        {"swap without its byte", ReplyBytes("交换成功"), std::nullopt},
        {"parameters text", ReplyBytes("写flash成功", 3), std::nullopt},
        {"connect", ReplyBytes("连接成功", 3), std::nullopt},
        {"zeros", Bytes(520, 0), std::nullopt},
        {"empty", Bytes{}, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<SeqReply> reply = ParseSeqReply(c.datagram);
        ASSERT_EQ(reply.has_value(), c.awaited.has_value()) << c.what;
        if (reply) {
            EXPECT_EQ(reply->awaited, *c.awaited) << c.what;
            EXPECT_EQ(reply->seq, c.seq) << c.what;
        }
    }
}

TEST(LinkReplyTest, OutstandingBytesAreToldApart) {
    using namespace std::chrono_literals;
    const auto now = LinkReply::Clock::now();
    LinkReply reply;
    ASSERT_TRUE(reply.Claim(10, kAwaitWritten));
    ASSERT_TRUE(reply.Claim(11, kAwaitWritten));
    ASSERT_TRUE(reply.Claim(12, kAwaitSwapped));
    EXPECT_FALSE(reply.Claim(11, kAwaitWritten)); // outstanding
    EXPECT_EQ(reply.outstanding(), 3);

    // Replies that match no entry are ignored: a byte nobody claimed, the
    // right byte with the text of another code.
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 13)));
    EXPECT_FALSE(reply.Offer(ReplyBytes("交换成功", 11)));
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 12)));
    EXPECT_TRUE(reply.Offer(ReplyBytes("写入flash成功", 11)));
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 11))); // a repeat completes nothing
    EXPECT_TRUE(reply.Offer(ReplyBytes("交换成功", 12)));
    EXPECT_EQ(reply.matches(), 2);

    std::vector<std::uint8_t> answered;
    EXPECT_FALSE(reply.WaitReplies(now, false, answered));
    EXPECT_EQ(answered, (std::vector<std::uint8_t>{11, 12}));
    answered.clear();
    reply.WaitReplies(LinkReply::Clock::now() + 5ms, false, answered);
    EXPECT_TRUE(answered.empty()) << "each answer is reported once";

    // Released bytes: free at once, or quiet for a while; a late answer to a
    // released byte finds nothing.
    reply.Release(11, now);
    reply.Release(10, now + 1h);
    EXPECT_FALSE(reply.Offer(ReplyBytes("写入sram成功", 10)));
    EXPECT_TRUE(reply.Claim(11, kAwaitWritten));
    EXPECT_FALSE(reply.Claim(10, kAwaitWritten));
    EXPECT_TRUE(reply.Claim(10, kAwaitWritten, true));
    EXPECT_EQ(reply.outstanding(), 3); // 10, 11 and the answered 12

    // An answer the sender has not collected goes with its entry.
    EXPECT_TRUE(reply.Offer(ReplyBytes("写入sram成功", 11)));
    reply.Release(11, now);
    answered.clear();
    reply.WaitReplies(now, false, answered);
    EXPECT_TRUE(answered.empty());
}

TEST(LinkReplyTest, TheExchangeAndTheTableShareOneListener) {
    using namespace std::chrono_literals;
    LinkReply reply;
    ASSERT_TRUE(reply.Claim(5, kAwaitWritten));
    reply.Arm(kAwaitConnect);
    std::thread listener([&reply] {
        std::this_thread::sleep_for(10ms);
        reply.Offer(ReplyBytes("写入sram成功", 5));
        reply.Offer(ReplyBytes("连接成功"));
    });
    std::vector<std::uint8_t> answered;
    // Woken by the table's answer; the exchange's may or may not be in yet.
    reply.WaitReplies(LinkReply::Clock::now() + 10s, false, answered);
    listener.join();
    EXPECT_TRUE(reply.WaitReplies(LinkReply::Clock::now(), true, answered));
    EXPECT_EQ(answered, std::vector<std::uint8_t>{5});
    reply.Release(5, LinkReply::Clock::now());

    // While the exchange waits for a byte, the table cannot claim it; once the
    // exchange has its answer, a repeat of it is the table's.
    reply.Arm(kAwaitWritten, 9);
    EXPECT_FALSE(reply.Claim(9, kAwaitWritten));
    EXPECT_TRUE(reply.Offer(ReplyBytes("写入sram成功", 9)));
    EXPECT_TRUE(reply.arrived());
    ASSERT_TRUE(reply.Claim(9, kAwaitWritten));
    EXPECT_TRUE(reply.Offer(ReplyBytes("写入sram成功", 9)));
    answered.clear();
    reply.WaitReplies(LinkReply::Clock::now(), false, answered);
    EXPECT_EQ(answered, std::vector<std::uint8_t>{9});
}

TEST(CommandBufferTest, AClaimSkipsTheSequenceBytesItRefuses) {
    PacketSeq seq;
    seq.Set(254);
    CommandBuffer commands(seq);
    std::vector<std::uint8_t> offered;
    const Command write = commands.WriteData(kMac, 0, Bytes(10, 1), [&](std::uint8_t s) {
        offered.push_back(s);
        return s == 1;
    });
    EXPECT_EQ(offered, (std::vector<std::uint8_t>{254, 255, 0, 1}));
    EXPECT_EQ(write.seq, std::optional<std::uint8_t>(1));
    EXPECT_EQ(write.bytes.back(), 1);
    EXPECT_EQ(seq.Peek(), 2);

    // A claim that refuses every byte gives up: the last byte offered goes out.
    int tries = 0;
    const Command swap = commands.SwapBuffer(kMac, 0, 1, 0, 64, [&](std::uint8_t) {
        ++tries;
        return false;
    });
    EXPECT_EQ(tries, CommandBuffer::kSeqClaimTries);
    ASSERT_TRUE(swap.seq);
    EXPECT_EQ(swap.bytes.back(), *swap.seq);
    EXPECT_EQ(seq.Peek(), static_cast<std::uint8_t>(*swap.seq + 1));
}

TEST(CardInfoTest, ParsesRecordNameAndModel) {
    Bytes datagram(520, 0);
    datagram[0] = 0x07;
    datagram[1] = 0x07;
    std::copy(kMac.begin(), kMac.end(), datagram.begin() + 2);
    datagram[8] = 32; // width / 8
    datagram[17] = 3; // model code
    const Bytes name = Gbk("舞台屏");
    datagram[124] = static_cast<std::uint8_t>(name.size());
    std::copy(name.begin(), name.end(), datagram.begin() + 125);
    datagram[519] = 0x99;

    const auto info = ParseCardInfo(datagram);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->mac, kMac);
    EXPECT_EQ(info->name, QStringLiteral("舞台屏"));
    EXPECT_EQ(info->modelCode, 3);
    EXPECT_TRUE(std::equal(info->record.begin(), info->record.end(), datagram.begin()));
    EXPECT_EQ(CardEntryText(*info), QStringLiteral("mac:00-1A-2B-3C-4D-5E 舞台屏->T3卡"));
}

TEST(CardInfoTest, ModelLabels) {
    QStringList labels;
    for (int code = 1; code <= 13; ++code) {
        const QString label = ModelLabel(code);
        EXPECT_FALSE(label.isEmpty());
        EXPECT_LE(label.size(), 7);
        EXPECT_FALSE(labels.contains(label)) << code; // distinct
        labels << label;
    }
    for (int code : {0, 14, 99, 255, -1}) {
        EXPECT_EQ(ModelLabel(code), ModelLabel(7)) << code;
    }
}

TEST(CardInfoTest, LengthsNamesAndGarbage) {
    Bytes base(520, 0);
    std::copy(kMac.begin(), kMac.end(), base.begin() + 2);
    // A declared length above 21 counts as 21.
    Bytes longName = base;
    longName[124] = 200;
    std::fill(longName.begin() + 125, longName.begin() + 160, 'A');
    EXPECT_EQ(ParseCardInfo(longName)->name, QString(21, QLatin1Char('A')));
    // A NUL ends the name.
    Bytes nul = base;
    nul[124] = 5;
    nul[125] = 'A';
    nul[126] = 'B';
    EXPECT_EQ(ParseCardInfo(nul)->name, QStringLiteral("AB"));
    // A name cut inside a two-byte character keeps the whole characters only.
    Bytes cut = base;
    const Bytes chinese = Gbk("舞台屏");
    std::copy(chinese.begin(), chinese.end(), cut.begin() + 125);
    cut[124] = 5;
    EXPECT_EQ(ParseCardInfo(cut)->name, QStringLiteral("舞台"));

    // Sizes: too short for the name field is not a card; longer is cut to 520.
    for (std::size_t size : {0u, 1u, 2u, 16u, 144u}) {
        EXPECT_FALSE(ParseCardInfo(Bytes(size, 0x30)).has_value()) << size;
    }
    for (std::size_t size : {145u, 519u, 520u, 521u, 65507u}) {
        Bytes datagram(size, 0x30);
        const auto info = ParseCardInfo(datagram);
        ASSERT_TRUE(info.has_value()) << size;
        const std::size_t kept = std::min<std::size_t>(size, 520);
        EXPECT_TRUE(std::all_of(info->record.begin(), info->record.begin() + kept,
                                [](std::uint8_t b) { return b == 0x30; }));
        EXPECT_TRUE(std::all_of(info->record.begin() + kept, info->record.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }
    std::mt19937 random(99);
    for (int round = 0; round < 500; ++round) {
        Bytes datagram(145 + random() % 600);
        for (auto& b : datagram) {
            b = static_cast<std::uint8_t>(random());
        }
        const auto info = ParseCardInfo(datagram);
        ASSERT_TRUE(info.has_value());
        EXPECT_TRUE(CardEntryText(*info).startsWith(QStringLiteral("mac:") + MacText(info->mac)));
    }
}
