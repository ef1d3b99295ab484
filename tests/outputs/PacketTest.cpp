// The pixel bytes: row order, the serpentine layout and the brightness scale.

#include "outputs/DdpPackets.h"
#include "outputs/OutputSettings.h"

#include <gtest/gtest.h>

namespace {

QImage Gradient(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixelColor(x, y, QColor(x * 10, y * 20, 200));
        }
    }
    return picture;
}

QStringList Args(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts) {
        list.append(QString::fromLatin1(text));
    }
    return list;
}

int Red(const QByteArray& bytes, int index) {
    return static_cast<std::uint8_t>(bytes[3 * index]);
}

} // namespace

TEST(DdpPixelsTest, RowsRunLeftToRightOrZigZagWhenSerpentine) {
    const QImage picture = Gradient(4, 3);
    const QByteArray straight = ddp::PixelBytes(picture, {});
    const QByteArray zigzag = ddp::PixelBytes(picture, {true, 100});
    ASSERT_EQ(straight.size(), 4 * 3 * 3);
    // Red is 10 * x, so the pixel order shows in the red channel.
    const int straightRed[] = {0, 10, 20, 30, 0, 10, 20, 30, 0, 10, 20, 30};
    const int zigzagRed[] = {0, 10, 20, 30, 30, 20, 10, 0, 0, 10, 20, 30};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(Red(straight, i), straightRed[i]) << i;
        EXPECT_EQ(Red(zigzag, i), zigzagRed[i]) << i;
    }
    // Green follows the row.
    EXPECT_EQ(static_cast<std::uint8_t>(straight[3 * 4 + 1]), 20);
}

TEST(DdpPixelsTest, BrightnessScalesEveryChannel) {
    QImage picture(1, 1, QImage::Format_RGB888);
    picture.setPixelColor(0, 0, QColor(255, 100, 1));
    struct Case {
        int brightness;
        int r, g, b;
    };
    for (const Case& c : {Case{100, 255, 100, 1}, Case{50, 128, 50, 1}, Case{0, 0, 0, 0},
                          Case{150, 255, 100, 1}, Case{-5, 0, 0, 0}}) {
        const QByteArray bytes = ddp::PixelBytes(picture, {false, c.brightness});
        SCOPED_TRACE(c.brightness);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), c.r);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[1]), c.g);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[2]), c.b);
    }
}

TEST(DdpPixelsTest, PicturesOfOtherFormatsAreReadAsRgb) {
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixelColor(0, 0, QColor(1, 2, 3));
    picture.setPixelColor(1, 0, QColor(4, 5, 6));
    const QByteArray bytes = ddp::PixelBytes(picture, {});
    EXPECT_EQ(bytes, QByteArray("\x01\x02\x03\x04\x05\x06", 6));
}

TEST(DdpPacketsTest, ExactMultipleEndsWithAFullPushPacketAndNoEmptyOne) {
    const QByteArray pixels(2880, 'a');
    const std::vector<QByteArray> packets = ddp::FramePackets(pixels, 7);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].size(), 10 + 1440);
    EXPECT_EQ(packets[1].size(), 10 + 1440);
    EXPECT_EQ(static_cast<std::uint8_t>(packets[0][0]), 0x40);
    EXPECT_EQ(static_cast<std::uint8_t>(packets[1][0]), 0x41);
    EXPECT_EQ(packets[1][1], 7);
    // Offset 1440 big-endian, length 1440 big-endian.
    EXPECT_EQ(packets[1].mid(4, 6), QByteArray("\x00\x00\x05\xA0\x05\xA0", 6));
}

TEST(DdpPacketsTest, SequenceRunsOneToFifteen) {
    EXPECT_EQ(ddp::NextSequence(0), 1);
    EXPECT_EQ(ddp::NextSequence(1), 2);
    EXPECT_EQ(ddp::NextSequence(14), 15);
    EXPECT_EQ(ddp::NextSequence(15), 1);
}

TEST(OutputSettingsTest, ReceiversParseWithTheirPorts) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t address;
        int port;
    };
    for (const Case& c : {Case{"127.0.0.1", true, 0x7F000001u, 4048},
                          Case{"10.1.2.3:4049", true, 0x0A010203u, 4049},
                          Case{" 192.168.0.255:65535 ", true, 0xC0A800FFu, 65535},
                          Case{"256.0.0.1", false, 0, 0}, Case{"1.2.3", false, 0, 0},
                          Case{"1.2.3.4:0", false, 0, 0}, Case{"1.2.3.4:70000", false, 0, 0},
                          Case{"wall.local", false, 0, 0}, Case{"1.2.3.4:", false, 0, 0}}) {
        SCOPED_TRACE(c.text);
        const auto receiver = ParseDdpReceiver(QString::fromLatin1(c.text));
        ASSERT_EQ(receiver.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(receiver->address, c.address);
            EXPECT_EQ(receiver->port, c.port);
            EXPECT_EQ(ParseDdpReceiver(receiver->toString()), receiver);
        }
    }
}

TEST(OutputSettingsTest, CommandLineReplacesTheStoredReceiversOfItsScreensOnly) {
    const OutputArgumentsParse parse =
        ParseOutputArguments(Args({"--link-local", "127.0.0.1", "--ddp", "h=127.0.0.1:5000",
                                   "--ddp=h=127.0.0.2", "--ddp", "x=127.0.0.1", "--line", "a"}));
    ASSERT_TRUE(parse.ok()) << parse.error.toStdString();
    EXPECT_EQ(parse.remaining, Args({"--link-local", "127.0.0.1", "--line", "a"}));
    OutputSettings stored;
    stored.screen(ScreenId::h).ddp = {DdpReceiver{0x0A000001u, 4048}};
    stored.screen(ScreenId::s).ddp = {DdpReceiver{0x0A000002u, 4048}};
    const OutputSettings run = WithOverrides(stored, parse.overrides);
    EXPECT_EQ(run.screen(ScreenId::h).ddp,
              (std::vector<DdpReceiver>{{0x7F000001u, 5000}, {0x7F000002u, 4048}}));
    EXPECT_EQ(run.screen(ScreenId::s).ddp, stored.screen(ScreenId::s).ddp);
    EXPECT_EQ(run.screen(ScreenId::x).ddp, (std::vector<DdpReceiver>{{0x7F000001u, 4048}}));

    for (const char* bad : {"q=127.0.0.1", "h127.0.0.1", "h=", "h=localhost", "s=1.2.3.4:99999"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseOutputArguments(Args({"--ddp", bad})).ok());
    }
    EXPECT_FALSE(ParseOutputArguments(Args({"--ddp"})).ok());
}
