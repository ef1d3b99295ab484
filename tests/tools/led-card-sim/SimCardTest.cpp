#include "SimCard.h"
#include "BankConfig.h"

#include "link/Commands.h"
#include "link/FrameEncoding.h"
#include "link/Replies.h"

#include "core/TextFiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

const MacAddress kMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

Bytes Text(const char* utf8) {
    const QByteArray gbk = EncodeGbk(QString::fromUtf8(utf8));
    return Bytes(gbk.begin(), gbk.end());
}

Bytes Expected(std::uint8_t code, const char* text, std::optional<std::uint8_t> seq = {}) {
    Bytes out(2, code);
    const Bytes t = Text(text);
    out.insert(out.end(), t.begin(), t.end());
    if (seq) {
        out.push_back(*seq);
    }
    return out;
}

struct CardFixture {
    explicit CardFixture(SimCardSpec setup = {}) : card(WithMac(std::move(setup))), buffer(seq) {}
    static SimCardSpec WithMac(SimCardSpec setup) {
        setup.mac = kMac;
        return setup;
    }
    SimCard::Outcome Send(const Command& command) { return card.Handle(command.bytes); }

    SimCard card;
    PacketSeq seq;
    CommandBuffer buffer;
};

} // namespace

TEST(SimCardTest, RepliesByteForByte) {
    CardFixture f;
    f.seq.Set(200);
    struct Case {
        Command command;
        Bytes reply;
    };
    const Case cases[] = {
        {f.buffer.Connect(kMac), Expected(0xA1, "连接成功")},
        {f.buffer.SyncMode(kMac), Expected(0x09, "控制卡同步模式")},
        {f.buffer.OfflineMode(kMac), Expected(0x0A, "控制卡脱机模式")},
        {f.buffer.WriteData(kMac, 0, Bytes(1024, 1)), Expected(0x03, "写入sram成功", 200)},
        {f.buffer.SwapBuffer(kMac, 0, 1, 0, 256), Expected(0x04, "交换成功", 201)},
        {f.buffer.WriteFlash(kMac, 0x1000, Bytes(16, 2)), Expected(0xA3, "写入flash成功", 202)},
        {f.buffer.LoadParameters(kMac, MakeCardParams(128, 16, 1, 0)),
         Expected(0x08, "写flash成功")},
        {f.buffer.AssignScreen(kMac, 2), Expected(0x19, "设置成功")},
        {f.buffer.Disconnect(kMac, false), Expected(0xA2, "已经断开")},
    };
    for (const Case& c : cases) {
        const SimCard::Outcome out = f.card.Handle(c.command.bytes);
        EXPECT_TRUE(out.addressed);
        ASSERT_EQ(out.replies.size(), 1u) << out.description.toStdString();
        EXPECT_EQ(out.replies[0], c.reply) << out.description.toStdString();
        // The station accepts exactly what the card sends.
        EXPECT_TRUE(MatchesReply(c.command.awaited, c.command.seq.value_or(0), out.replies[0]));
    }
    EXPECT_EQ(f.card.screen(), ScreenId::x);
    // Brightness is never answered.
    const SimCard::Outcome bright = f.Send(f.buffer.Brightness(kMac, 11));
    EXPECT_TRUE(bright.replies.empty());
    EXPECT_EQ(f.card.state().brightness, 11);
}

TEST(SimCardTest, SearchAnswerIsTheInformationRecord) {
    SimCardSpec setup;
    setup.name = QStringLiteral("舞台屏");
    setup.modelCode = 5;
    setup.params = MakeCardParams(512, 32, 7, 1, 1, 0);
    CardFixture f(setup);
    const SimCard::Outcome out = f.Send(f.buffer.Search());
    ASSERT_EQ(out.replies.size(), 1u);
    const Bytes& record = out.replies[0];
    ASSERT_EQ(record.size(), 520u);
    EXPECT_TRUE(std::equal(kMac.begin(), kMac.end(), record.begin() + 2));
    EXPECT_EQ(record[8], 64);    // 512 / 8
    EXPECT_EQ(record[10], 32);   // height
    EXPECT_EQ(record[12], 0x44); // scan index 7
    EXPECT_EQ(record[14], 2);    // dual colour card type
    EXPECT_EQ(record[15], 1);    // OE polarity
    EXPECT_EQ(record[17], 5);    // model code
    EXPECT_EQ(record[18], 0);    // data polarity
    EXPECT_EQ(record[124], 6);
    const auto info = ParseCardInfo(record);
    ASSERT_TRUE(info);
    EXPECT_EQ(CardEntryText(*info), QStringLiteral("mac:00-1A-2B-3C-4D-5E 舞台屏->") +
                                        ModelLabel(5) + QStringLiteral("卡"));
    EXPECT_EQ(record[516], 0x55); // block trailer at block byte 508
}

TEST(SimCardTest, IgnoresWhatIsNotForIt) {
    CardFixture f;
    const MacAddress other{9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(f.Send(f.buffer.Connect(other)).addressed);
    for (const Bytes& junk :
         {Bytes{}, Bytes{0xA1}, Bytes{0xA1, 0xA2, 0, 0x1A}, Bytes{0xA1, 0xA1, 0x00, 0x1A, 0x2B}}) {
        const SimCard::Outcome out = f.card.Handle(junk);
        EXPECT_TRUE(out.replies.empty());
    }
    // Addressed but cut short: logged, not acted on.
    Bytes shortSlice = f.buffer.WriteData(kMac, 0, Bytes(1024, 1)).bytes;
    shortSlice.resize(500);
    const SimCard::Outcome out = f.card.Handle(shortSlice);
    EXPECT_TRUE(out.addressed);
    EXPECT_TRUE(out.replies.empty());
    EXPECT_TRUE(out.description.contains(QStringLiteral("too short")));
    EXPECT_EQ(f.card.state().dataSlices, 0);
    // An assignment to a screen that does not exist.
    Bytes assign = f.buffer.AssignScreen(kMac, 3).bytes;
    EXPECT_TRUE(f.card.Handle(assign).replies.empty());
    EXPECT_EQ(f.card.screen(), ScreenId::h);
    // Flash beyond 8 MiB is acknowledged but not stored.
    EXPECT_EQ(f.Send(f.buffer.WriteFlash(kMac, 0xFFFFFF00u, Bytes(1024, 1))).replies.size(), 1u);
    EXPECT_TRUE(f.card.flash().empty());
}

// The station resends a command unchanged when its answer came late: the card
// answers each copy but counts the command once, also towards a fault that
// silences it after k commands.
TEST(SimCardTest, ARetriedCommandIsAnsweredAgainAndCountedOnce) {
    SimCardSpec setup;
    setup.faults.stopAfterSlices = 2;
    CardFixture f(setup);
    const Command first = f.buffer.WriteData(kMac, 0, Bytes(1024, 1));
    const Command second = f.buffer.WriteData(kMac, 4, Bytes(1024, 2));
    for (const Command* sent : {&first, &first, &second, &second, &second}) {
        EXPECT_EQ(f.Send(*sent).replies.size(), 1u);
    }
    EXPECT_EQ(f.card.state().dataSlices, 2);
    // A third slice is past the limit.
    EXPECT_TRUE(f.Send(f.buffer.WriteData(kMac, 8, Bytes(1024, 3))).replies.empty());

    CardFixture g;
    const Command swap = g.buffer.SwapBuffer(kMac, 0, 1, 0, 256);
    g.Send(swap);
    g.Send(swap);
    const Command again = g.buffer.SwapBuffer(kMac, 0, 1, 0, 256); // a new sequence byte
    g.Send(again);
    EXPECT_EQ(g.card.state().swaps, 2);
    const Command flash = g.buffer.WriteFlash(kMac, 0xB000, Bytes(1024, 7));
    g.Send(flash);
    g.Send(flash);
    EXPECT_EQ(g.card.state().flashBlocks, 1);
}

TEST(SimCardTest, FaultsOfTheCardItself) {
    SimCardSpec setup;
    setup.faults.wrongSeq = true;
    setup.faults.ignoreModeSwitch = true;
    setup.faults.stopAfterSlices = 1;
    CardFixture f(setup);
    f.seq.Set(9);
    EXPECT_EQ(f.Send(f.buffer.Connect(kMac)).replies.size(), 1u);
    EXPECT_TRUE(f.Send(f.buffer.SyncMode(kMac)).replies.empty());
    const SimCard::Outcome first = f.Send(f.buffer.WriteData(kMac, 0, Bytes(8, 1)));
    ASSERT_EQ(first.replies.size(), 1u);
    EXPECT_EQ(first.replies[0].back(), 10); // sequence 9 answered as 10
    EXPECT_TRUE(f.Send(f.buffer.WriteData(kMac, 4, Bytes(8, 1))).replies.empty());
    EXPECT_TRUE(f.Send(f.buffer.Connect(kMac)).replies.empty()); // silent from now on
    EXPECT_TRUE(f.Send(f.buffer.Search()).replies.empty());
    f.card.SetFaults({});
    EXPECT_EQ(f.Send(f.buffer.Connect(kMac)).replies.size(), 1u);
}

TEST(SimCardTest, ScanCodesGiveRowsPerGroup) {
    const CardParams params0 = MakeCardParams(256, 32, 0, 1);
    EXPECT_EQ(params0[0], 32);
    EXPECT_EQ(params0[2], 32);
    EXPECT_EQ(params0[6], 2);
    for (int index = 0; index < 10; ++index) {
        const CardParams params = MakeCardParams(256, 32, index, 0);
        EXPECT_EQ(RowsFromScanCode(params[4]), RowsPerGroup(index)) << index;
    }
    // Codes the dialog never produces.
    EXPECT_EQ(RowsFromScanCode(0x02), 2);
    EXPECT_EQ(RowsFromScanCode(0x42), 8);
    EXPECT_EQ(RowsFromScanCode(0x61), 8);
    EXPECT_EQ(RowsFromScanCode(0x00), 1);
}

TEST(SimCardTest, SwapDecodesDisplayMemory) {
    // Dual colour, N = 8, 16 x 16: one lit red pixel and one green.
    SimCardSpec setup;
    setup.params = MakeCardParams(16, 16, 1, 1);
    CardFixture f(setup);
    QImage picture(16, 16, QImage::Format_RGB888);
    picture.fill(Qt::black);
    picture.setPixelColor(3, 9, QColor(255, 0, 0));
    picture.setPixelColor(15, 0, QColor(0, 255, 0));
    FrameStore store;
    EncodeLiveFrame(picture, ColourKind::Dual, 8, store);
    f.Send(f.buffer.WriteData(kMac, 0, store.Plane(1).first(128)));
    f.Send(f.buffer.WriteData(kMac, 50, store.Plane(2).first(128)));
    f.Send(f.buffer.SwapBuffer(kMac, 0, 1, 0, 16));
    const QImage shown = f.card.state().displayed;
    ASSERT_EQ(shown.size(), QSize(16, 16));
    EXPECT_EQ(shown.pixelColor(3, 9), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(15, 0), QColor(0, 255, 0));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(0, 0, 0));
    // Memory the station never wrote reads as dark; an extent of 0 falls back to
    // the block's width.
    f.Send(f.buffer.SwapBuffer(kMac, 0, 1, 0, 0));
    EXPECT_EQ(f.card.state().displayed.width(), 16);
    EXPECT_FALSE(f.Send(f.buffer.SwapBuffer(kMac, 0, 1, 0, 1600))
                     .description.contains(
                         QStringLiteral("runs into plane 2"))); // 8 x 1600 = 12800 still fits
    // A dual-colour line whose plane is longer than 12800 bytes overlaps plane 2
    // in the card's memory; the log says so.
    EXPECT_TRUE(
        f.Send(f.buffer.SwapBuffer(kMac, 0, 1, 0, 1601))
            .description.contains(QStringLiteral("a plane of 12808 bytes runs into plane 2")));
}

TEST(BankConfigTest, ParsesCardsAndFaults) {
    const BankConfigParse parsed = ParseBankConfig(QStringLiteral(
        "# two cards\n"
        "mac=00-1A-2B-3C-4D-5E name=左屏 model=3 screen=s width=256 height=64 scan=4 colour=2\n"
        "\n"
        "mac=02:00:00:00:00:01, drop=25, stop-after=3, ignore-mode=yes, wrong-seq=1, delay=15, "
        "duplicate=true, oe=1, data=1\n"));
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    ASSERT_EQ(parsed.cards.size(), 2u);
    const SimCardSpec& a = parsed.cards[0];
    EXPECT_EQ(a.mac, kMac);
    EXPECT_EQ(a.name, QStringLiteral("左屏"));
    EXPECT_EQ(a.modelCode, 3);
    EXPECT_EQ(a.screen, ScreenId::s);
    EXPECT_EQ(a.params, MakeCardParams(256, 64, 4, 2));
    const SimCardSpec& b = parsed.cards[1];
    EXPECT_EQ(b.faults.dropPercent, 25);
    EXPECT_EQ(b.faults.stopAfterSlices, 3);
    EXPECT_TRUE(b.faults.ignoreModeSwitch);
    EXPECT_TRUE(b.faults.wrongSeq);
    EXPECT_EQ(b.faults.delayMs, 15);
    EXPECT_TRUE(b.faults.duplicate);
    EXPECT_EQ(b.params[7], 1);
    EXPECT_EQ(b.params[10], 1);
    EXPECT_EQ(b.screen, ScreenId::h);
}

TEST(BankConfigTest, ErrorsNameTheProblem) {
    struct Case {
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"name=x", "mac"},
        {"mac=00-1A-2B-3C-4D", "mac"},
        {"mac=00-1A-2B-3C-4D-5E colour=3", "colour"},
        {"mac=00-1A-2B-3C-4D-5E screen=q", "screen"},
        {"mac=00-1A-2B-3C-4D-5E drop=101", "drop"},
        {"mac=00-1A-2B-3C-4D-5E speed=1", "speed"},
        {"mac=00-1A-2B-3C-4D-5E lonely", "lonely"},
        {"mac=00-1A-2B-3C-4D-5E\nmac=zz", "line 2"},
    };
    for (const Case& c : cases) {
        const BankConfigParse parsed = ParseBankConfig(QString::fromUtf8(c.text));
        EXPECT_FALSE(parsed.ok()) << c.text;
        EXPECT_TRUE(parsed.cards.empty());
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.mentions)))
            << parsed.error.toStdString();
    }
    EXPECT_TRUE(BankConfigHelp().contains(QStringLiteral("stop-after")));
}

namespace {

// A parameter block as LoadParameters carries it, with any width and height
// the two 16-bit fields can hold.
CardParams RawParams(int bytesPerRow, int height, std::uint8_t scanCode, int colourStyle) {
    CardParams block = MakeCardParams(8, 1, 0, colourStyle);
    block[0] = static_cast<std::uint8_t>(bytesPerRow & 0xFF);
    block[1] = static_cast<std::uint8_t>(bytesPerRow >> 8);
    block[2] = static_cast<std::uint8_t>(height & 0xFF);
    block[3] = static_cast<std::uint8_t>(height >> 8);
    block[4] = scanCode;
    return block;
}

[[maybe_unused]] long long VirtualMemoryBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:")) {
            return line.mid(7).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return -1;
}

} // namespace

TEST(SimCardTest, SwapBeyondDisplayMemoryIsRefusedWithoutAllocating) {
    struct Case {
        const char* name;
        CardParams params;
        int extent;
        bool shown;
    };
    const Case cases[] = {
        // 65535 x 65535 asked for 13 GB of picture.
        {"tallest block, widest extent", RawParams(256, 65535, 0x10, 1), 65535, false},
        // Extent 0 takes the block's width: 524280 columns x 120 rows per plane.
        {"widest block, deepest scan", RawParams(65535, 32, 0x6F, 1), 0, false},
        {"pixels just over the memory's bits", RawParams(32, 2049, 0x10, 0), 65535, false},
        {"a long line on a real screen", RawParams(32, 32, 0x10, 1), 65535, true},
        {"deepest scan, widest extent", RawParams(32, 32, 0x6F, 1), 65535, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardFixture f;
        ASSERT_FALSE(f.Send(f.buffer.LoadParameters(kMac, c.params)).replies.empty());
        ASSERT_FALSE(f.Send(f.buffer.SwapBuffer(kMac, 0, 1, 0, 8)).replies.empty());
        const QImage before = f.card.state().displayed;

        const SimCard::Outcome outcome = f.Send(f.buffer.SwapBuffer(kMac, 2, 3, 4, c.extent));
        EXPECT_EQ(outcome.replies.empty(), !c.shown);
        EXPECT_EQ(outcome.description.contains(QStringLiteral("(not shown)")), !c.shown)
            << outcome.description.toStdString();
        EXPECT_EQ(f.card.state().swaps, c.shown ? 2 : 1);
        if (!c.shown) {
            EXPECT_EQ(f.card.state().displayed, before);
            EXPECT_EQ(f.card.state().effect, 0);
            EXPECT_TRUE(f.card.DecodeDisplay(c.extent).isNull());
        }
    }
}

TEST(SimCardTest, SwapWhosePictureCannotBeAllocatedIsNotShown) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves the address space this test limits";
#else
    // 65535 x 1600 is within the display memory but needs 300 MB of picture;
    // with the address space held just above what the process uses, the
    // allocation fails and the card must not draw into a null picture.
    CardFixture f;
    ASSERT_FALSE(
        f.Send(f.buffer.LoadParameters(kMac, RawParams(32, 1600, 0x10, 1))).replies.empty());
    ASSERT_TRUE(f.card.WhyNotShowable(65535).isEmpty());
    const Command swap = f.buffer.SwapBuffer(kMac, 0, 1, 0, 65535);
    const long long used = VirtualMemoryBytes();
    ASSERT_GT(used, 0);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(used + 64LL * 1024 * 1024);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const SimCard::Outcome outcome = f.card.Handle(swap.bytes);
    setrlimit(RLIMIT_AS, &old);

    EXPECT_TRUE(outcome.replies.empty());
    EXPECT_TRUE(
        outcome.description.contains(QStringLiteral("no memory for a 65535 x 1600 picture")))
        << outcome.description.toStdString();
    EXPECT_EQ(f.card.state().swaps, 0);
    EXPECT_TRUE(f.card.state().displayed.isNull());
#endif
}
