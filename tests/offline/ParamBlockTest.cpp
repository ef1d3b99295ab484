// The parameter block and its files, byte for byte, for the screens the
// dialog can describe.
#include "offline/ParamBlock.h"
#include "offline/ParamFiles.h"

#include "link/LedThread.h"
#include "link/StationLink.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// What every block holds whatever the screen: the fixed card profile.
Bytes ProfileBytes() {
    Bytes block(512, 0);
    block[5] = 0x01;
    block[8] = 1;
    block[11] = 2;
    block[12] = 1;
    block[24] = 5;
    block[82] = 2;
    const Bytes name = {6, 0xCE, 0xE8, 0xCC, 0xA8, 0xC6, 0xC1}; // 6, "舞台屏" in GBK
    std::copy(name.begin(), name.end(), block.begin() + 116);
    block[508] = 0x55;
    block[509] = 0xAA;
    block[510] = 0x55;
    block[511] = 0xAA;
    return block;
}

struct BlockCase {
    const char* name;
    ScreenId screen;
    int width, height; // as the dialog shows them
    int colour, scan, dataPol, oePol;
    Bytes head; // expected bytes 0..4
    std::uint8_t cardType;
};

class ParamBlockTable : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ParamBlockTable, BlockAndFileAreByteExact) {
    const BlockCase& c = GetParam();
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    worker.SetLinkScreenParams(c.screen, c.width, c.height, c.colour, c.scan, c.dataPol, c.oePol);
    const ParamBlock block = BuildParamBlock(worker.linkScreen(c.screen));

    Bytes expected = ProfileBytes();
    std::copy(c.head.begin(), c.head.end(), expected.begin());
    expected[6] = c.cardType;
    expected[7] = static_cast<std::uint8_t>(c.oePol);
    expected[10] = static_cast<std::uint8_t>(c.dataPol);
    EXPECT_EQ(Bytes(block.begin(), block.end()), expected);

    TempDir home;
    const StationPaths paths(home.path());
    ASSERT_TRUE(WriteParamFile(paths, c.screen, block));
    const QByteArray file = TempDir::read(paths.dataFile(ParamFileName(c.screen)));
    ASSERT_EQ(file.size(), 512);
    EXPECT_EQ(Bytes(file.begin(), file.end()), expected);

    // The file read back says what the dialog described.
    ParamBlock read{};
    std::copy(file.begin(), file.end(), read.begin());
    const ParamBlockFields fields = ReadParamBlock(read);
    const bool turned = c.screen == ScreenId::s;
    EXPECT_EQ(fields.bytesPerRow, (turned ? c.height : c.width) / 8);
    EXPECT_EQ(fields.height, turned ? c.width : c.height);
    EXPECT_EQ(fields.oePolarity, c.oePol);
    EXPECT_EQ(fields.dataPolarity, c.dataPol);
    EXPECT_EQ(fields.cardType, c.cardType);
    EXPECT_EQ(fields.scanCode, c.head[4]);
    EXPECT_EQ(fields.screenName, QStringLiteral("舞台屏"));
    EXPECT_EQ(fields.settingA, 5);
    EXPECT_EQ(fields.settingB, 2);
    EXPECT_EQ(fields.constantOne, 1u);
    EXPECT_TRUE(fields.trailerOk);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ParamBlockTable,
    ::testing::Values(
        BlockCase{"Horizontal256x32Dual",
                  ScreenId::h,
                  256,
                  32,
                  1,
                  0,
                  0,
                  0,
                  {0x20, 0x00, 0x20, 0x00, 0x10},
                  2},
        BlockCase{"VerticalIsTurned",
                  ScreenId::s,
                  32,
                  256,
                  1,
                  0,
                  0,
                  0,
                  {0x20, 0x00, 0x20, 0x00, 0x10},
                  2},
        BlockCase{"Widest", ScreenId::h, 2048, 128, 2, 9, 1, 1, {0x00, 0x01, 0x80, 0x00, 0x64}, 8},
        BlockCase{"WidthNotAMultipleOf8",
                  ScreenId::h,
                  200,
                  32,
                  1,
                  0,
                  0,
                  0,
                  {0x19, 0x00, 0x20, 0x00, 0x10},
                  2},
        BlockCase{"SmallSingle8Scan",
                  ScreenId::x,
                  784,
                  16,
                  0,
                  1,
                  0,
                  1,
                  {0x62, 0x00, 0x10, 0x00, 0x08},
                  1},
        BlockCase{
            "Small4ScanFold", ScreenId::x, 64, 128, 1, 4, 1, 0, {0x08, 0x00, 0x80, 0x00, 0x14}, 2},
        BlockCase{"TallestVertical",
                  ScreenId::s,
                  128,
                  784,
                  0,
                  7,
                  0,
                  0,
                  {0x62, 0x00, 0x80, 0x00, 0x44},
                  1}),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST(ParamBlock, VerticalScreenBitmapIsTheCardsGeometry) {
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    worker.SetLinkScreenParams(ScreenId::s, 32, 256, 1, 0, 0, 0);
    EXPECT_EQ(worker.ScreenBitmap(ScreenId::s).size(), QSize(256, 32));
}

TEST(ParamBlock, ScanCodesOfEveryScanAndFold) {
    struct Row {
        const char* scan;
        const char* fold;
        int code;
    };
    const std::vector<Row> rows = {
        {"16扫", "8列下折3次", 0x10}, {"8扫", "直行", 0x08},        {"8扫", "8列上折1次", 0x18},
        {"8扫", "8列下折1次", 0x28},  {"4扫", "直行", 0x04},        {"4扫", "8列上折1次", 0x14},
        {"4扫", "8列下折1次", 0x24},  {"4扫", "8列上折3次", 0x34},  {"4扫", "8列下折3次", 0x44},
        {"4扫", "16列上折1次", 0x54}, {"4扫", "16列下折1次", 0x64}, {"2扫", "直行", 0x02},
        {"2扫", "8列上折1次", 0x12},  {"2扫", "8列下折3次", 0x42},  {"1扫", "直行", 0x01},
        {"32扫", "8列上折7次", 0x51}, {"1扫", "8列下折7次", 0x61},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ScanCode(QString::fromUtf8(row.scan), QString::fromUtf8(row.fold)), row.code)
            << row.scan << " " << row.fold;
    }
    // The ten entries of the dialog, in order.
    const std::vector<int> entries = {0x10, 0x08, 0x18, 0x28, 0x14, 0x24, 0x34, 0x44, 0x54, 0x64};
    for (int index = 0; index < 10; ++index) {
        const ScanArrangement a = ScanArrangementOf(index);
        EXPECT_EQ(ScanCode(a.scan, a.fold), entries[size_t(index)]) << index;
    }
}

TEST(ParamBlock, CardTypeOfEveryColourKind) {
    const std::vector<std::pair<const char*, int>> kinds = {
        {"同步+单色", 1},       {"同步+单色(桌面)", 1},     {"同步+双色", 2},
        {"同步+双色(桌面)", 2}, {"脱机+单色(任意分区)", 3}, {"脱机+双色(任意分区)", 4},
        {"脱机+单色", 5},       {"脱机+双色", 6},           {"同步+全彩", 8},
        {"同步+全彩(桌面)", 8}, {"something else", 2},
    };
    for (const auto& [kind, code] : kinds) {
        EXPECT_EQ(CardTypeCode(QString::fromUtf8(kind)), code) << kind;
    }
}

TEST(ParamBlock, ProfileFieldsReachTheirBytes) {
    CardProfile profile;
    profile.colourOrder = QStringLiteral("R+G");
    profile.mode = QStringLiteral("测试");
    profile.memorySize = QStringLiteral("4M");
    profile.level = QStringLiteral("低");
    profile.address = QStringLiteral("192.168.1.250");
    profile.hardwareAddress = QStringLiteral("ABCDEFGH");
    profile.settingsC[0] = 0x1FF;
    profile.settingsC[28] = 7;
    // 21 bytes: cut at 20 would split the tenth character, so it goes whole.
    profile.screenName = QStringLiteral("A舞台屏舞台屏舞台屏舞");
    const ParamBlock block = BuildParamBlock(LinkScreen{}, profile);
    EXPECT_EQ(block[5], 0x10);
    EXPECT_EQ(block[8], 0);
    EXPECT_EQ(block[11], 0);
    EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 20), (Bytes{192, 168, 1, 250}));
    EXPECT_EQ(block[87], 0xFF);
    EXPECT_EQ(block[115], 7);
    EXPECT_EQ(block[116], 19);
    EXPECT_EQ(block[136], 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(block.data()) + 137, 6), "ABCDEF");
    EXPECT_EQ(ReadParamBlock(block).screenName, QStringLiteral("A舞台屏舞台屏舞台屏"));

    profile.address = QStringLiteral("300.1.2.3");
    const ParamBlock bad = BuildParamBlock(LinkScreen{}, profile);
    EXPECT_EQ(Bytes(bad.begin() + 16, bad.begin() + 20), (Bytes{0, 0, 0, 0}));
}

TEST(ParamFiles, AFailedWriteNamesTheFileAndKeepsTheOldOne) {
    TempDir home;
    const StationPaths paths(home.path());
    ASSERT_TRUE(QDir().mkpath(paths.dataDir()));
    const QByteArray old(512, '\x11');
    home.write(QStringLiteral("data/cs_h.bin"), old);
    IoStatus written;
    {
        FileSizeLimit full(100); // the disk fills up after 100 bytes
        written = WriteParamFile(paths, ScreenId::h, BuildParamBlock(LinkScreen{}));
    }
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.message.startsWith(QStringLiteral("创建文件失败！请重启软件！")))
        << written.message.toStdString();
    EXPECT_TRUE(written.message.contains(QStringLiteral("cs_h.bin")));
    EXPECT_EQ(TempDir::read(paths.dataFile(QStringLiteral("cs_h.bin"))), old);
    EXPECT_EQ(QDir(paths.dataDir()).entryList(QDir::Files),
              QStringList{QStringLiteral("cs_h.bin")});
}

TEST(ParamFiles, ADataPathThatIsAFileIsReported) {
    TempDir home;
    home.write(QStringLiteral("data"), "not a directory");
    const IoStatus written =
        WriteParamFile(StationPaths(home.path()), ScreenId::x, BuildParamBlock(LinkScreen{}));
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.message.contains(QStringLiteral("data")));
}

} // namespace
