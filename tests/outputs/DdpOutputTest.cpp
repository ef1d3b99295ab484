// Rendered lines go through the link's worker, with no card listed, to DDP
// receivers on loopback. The receiver is the test's own, so what is checked
// is the protocol on the wire, not the sender's idea of it.

#include "DdpReceiver.h"

#include "link/LedThread.h"
#include "link/LinkConfig.h"
#include "link/StationLink.h"
#include "outputs/DdpOutput.h"
#include "render/Bitmaps.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

DdpReceiver LoopbackReceiver(int port) {
    return DdpReceiver{0x7F000001u, port};
}

// The worker with no cards, the renderer feeding it and a DDP output on its
// frame tap.
struct DdpRig {
    explicit DdpRig(int portOffset) : link(LinkConfig::Loopback(portOffset)), worker(link) {
        renderer.SetFrameSink(&worker);
        worker.SetFrameTap(&output);
    }
    ~DdpRig() { worker.SetFrameTap(nullptr); }

    void UseScreen(ScreenId screen, int width, int height, const OutputSettings& outputs) {
        TScreenParams& params = active.screen(screen);
        params.ScreenKind = true;
        params.ScreenWidth = width;
        params.ScreenHeight = height;
        params.ScreenStyle = 1;
        active.effect(screen).AutoSize = 1;
        active.effect(screen).Effect = 0;
        active.effect(screen).Color = 3;
        worker.SetLinkScreenParams(screen, params);
        worker.SetScreenInUse(screen, true);
        output.SetScreenSize(screen, width, height);
        output.SetOutputs(outputs);
    }

    TSettings active;
    QtRasteriser rasteriser;
    TextRenderer renderer{active, rasteriser};
    DdpOutput output;
    StationLink link;
    TLedThread worker;
};

// The frame the audience sees: the still line's preview.
QImage Expected(const TextRenderer& renderer, ScreenId screen) {
    return renderer.previewImage(screen).convertToFormat(QImage::Format_RGB888);
}

// Renders lines until the receiver has one more complete frame, at most a few
// tries: a loaded machine may drop a datagram of a burst on loopback, and a
// frame with a hole is not what this test looks at.
bool ShowUntilReceived(DdpRig& rig, TestDdpReceiver& receiver, ScreenId screen, const QString& text,
                       ReceivedFrame& got) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        // The frames before this one are all out, so the next one counted is it.
        if (!rig.output.WaitIdle(10s)) {
            return false;
        }
        const std::size_t before = receiver.Frames().size();
        const long long sent = rig.output.Report(screen).frames;
        if (rig.renderer.RenderSubtitle(screen, text, {}).failed()) {
            return false;
        }
        if (!rig.output.WaitFramesSent(screen, sent + 1, 20s) ||
            !receiver.WaitFrames(before + 1, 10s)) {
            continue;
        }
        const ReceivedFrame frame = receiver.Frames().back();
        if (frame.complete) {
            got = frame;
            return true;
        }
    }
    return false;
}

} // namespace

TEST(DdpOutputTest, ReceiverSeesTheRenderedPicturePixelForPixel) {
    struct Case {
        ScreenId screen;
        int width;
        int height;
        QString text;
    };
    const Case cases[] = {
        {ScreenId::h, 256, 32, QStringLiteral("今晚演出 Tonight")},
        {ScreenId::s, 32, 256, QStringLiteral("竖屏字幕")},
        {ScreenId::x, 2048, 128, QStringLiteral("大屏幕上的一行很长的字幕 A long line")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ScreenLetter(c.screen));
        TestDdpReceiver receiver;
        ASSERT_TRUE(receiver.ok());
        DdpRig rig(3100 + ScreenIndex(c.screen));
        OutputSettings outputs;
        outputs.screen(c.screen).ddp = {LoopbackReceiver(receiver.port())};
        rig.UseScreen(c.screen, c.width, c.height, outputs);
        rig.worker.Resume();

        ReceivedFrame first;
        ASSERT_TRUE(ShowUntilReceived(rig, receiver, c.screen, c.text, first));
        const QImage expected = Expected(rig.renderer, c.screen);
        ASSERT_EQ(expected.size(), QSize(c.width, c.height));
        EXPECT_EQ(TestDdpReceiver::Picture(first, c.width, c.height), expected);
        QImage black(expected.size(), QImage::Format_RGB888);
        black.fill(Qt::black);
        EXPECT_NE(expected, black);

        // Split in whole packets of at most 1440 bytes at consecutive
        // offsets, PUSH on the last only, RGB 8-bit data for display 1.
        const qsizetype bytes = qsizetype(c.width) * c.height * 3;
        EXPECT_EQ(first.pixels.size(), bytes);
        ASSERT_EQ(first.packets.size(), std::size_t((bytes + 1439) / 1440));
        std::uint32_t offset = 0;
        for (std::size_t i = 0; i < first.packets.size(); ++i) {
            const ReceivedPacket& packet = first.packets[i];
            EXPECT_EQ(packet.offset, offset);
            EXPECT_LE(packet.length, 1440);
            EXPECT_EQ(packet.push(), i + 1 == first.packets.size());
            EXPECT_EQ(packet.type, 0x0B);
            EXPECT_EQ(packet.destination, 1);
            EXPECT_EQ(packet.sequence, first.sequence);
            offset += packet.length;
        }
        EXPECT_NE(first.sequence, 0);

        // The next frame has the next sequence number and its own picture.
        ReceivedFrame second;
        ASSERT_TRUE(ShowUntilReceived(rig, receiver, c.screen, QStringLiteral("下一句"), second));
        EXPECT_NE(second.sequence, first.sequence);
        EXPECT_EQ(TestDdpReceiver::Picture(second, c.width, c.height),
                  Expected(rig.renderer, c.screen));
        EXPECT_EQ(receiver.Malformed(), 0);
    }
}

TEST(DdpOutputTest, SequenceNumbersAdvanceOneAFrameAndSkipZero) {
    TestDdpReceiver receiver;
    ASSERT_TRUE(receiver.ok());
    DdpRig rig(3110);
    OutputSettings outputs;
    outputs.screen(ScreenId::h).ddp = {LoopbackReceiver(receiver.port())};
    rig.UseScreen(ScreenId::h, 64, 16, outputs);
    rig.worker.Resume();
    // 17 small frames: the numbers run 1..15 and start again at 1.
    for (int i = 0; i < 17; ++i) {
        const long long sent = rig.output.Report(ScreenId::h).frames;
        ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QString::number(i), {}).failed());
        ASSERT_TRUE(rig.output.WaitFramesSent(ScreenId::h, sent + 1, 20s));
    }
    ASSERT_TRUE(receiver.WaitFrames(17, 10s));
    const std::vector<ReceivedFrame> frames = receiver.Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].sequence, int(i % 15) + 1) << i;
    }
}

TEST(DdpOutputTest, EveryReceiverOfTheScreenGetsTheFrameAndOtherScreensNone) {
    TestDdpReceiver first;
    TestDdpReceiver second;
    TestDdpReceiver other;
    ASSERT_TRUE(first.ok() && second.ok() && other.ok());
    DdpRig rig(3120);
    OutputSettings outputs;
    outputs.screen(ScreenId::h).ddp = {LoopbackReceiver(first.port()),
                                       LoopbackReceiver(second.port())};
    outputs.screen(ScreenId::x).ddp = {LoopbackReceiver(other.port())};
    rig.UseScreen(ScreenId::h, 128, 16, outputs);
    rig.worker.Resume();
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("两处"), {}).failed());
    ASSERT_TRUE(first.WaitFrames(1, 10s));
    ASSERT_TRUE(second.WaitFrames(1, 10s));
    EXPECT_EQ(first.Frames().front().pixels, second.Frames().front().pixels);
    // Screen x is not in use: nothing of screen h reaches its receiver.
    EXPECT_FALSE(other.WaitFrames(1, 200ms));
}

TEST(DdpOutputTest, SuspendedWorkerSendsNothingUntilConnected) {
    TestDdpReceiver receiver;
    ASSERT_TRUE(receiver.ok());
    DdpRig rig(3130);
    OutputSettings outputs;
    outputs.screen(ScreenId::h).ddp = {LoopbackReceiver(receiver.port())};
    rig.UseScreen(ScreenId::h, 64, 16, outputs);
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("等"), {}).failed());
    EXPECT_FALSE(receiver.WaitFrames(1, 200ms));
    // The wall changes with the cards: at the connect, not before.
    rig.worker.Resume();
    ASSERT_TRUE(receiver.WaitFrames(1, 10s));
    EXPECT_EQ(TestDdpReceiver::Picture(receiver.Frames().front(), 64, 16),
              Expected(rig.renderer, ScreenId::h));
}

TEST(DdpOutputTest, ScrollingLineIsPlayedStepByStepLikeThePreview) {
    TestDdpReceiver receiver;
    ASSERT_TRUE(receiver.ok());
    DdpRig rig(3140);
    OutputSettings outputs;
    outputs.screen(ScreenId::h).ddp = {LoopbackReceiver(receiver.port())};
    rig.UseScreen(ScreenId::h, 64, 16, outputs);
    rig.active.effect(ScreenId::h).Effect = 4; // in from the right
    rig.active.effect(ScreenId::h).Speed = 16;
    rig.worker.Resume();
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("左移"), {}).failed());
    // 64 pixels at 16 a step: the line is in place after four steps, and the
    // wall's pictures are the preview's steps.
    ASSERT_TRUE(receiver.WaitFrames(4, 10s));
    const QImage picture = rig.renderer.renderBitmap(ScreenId::h);
    QImage preview(64, 16, QImage::Format_RGB888);
    preview.fill(Qt::black);
    int step = 0;
    const std::vector<ReceivedFrame> frames = receiver.Frames();
    for (int i = 0; i < 4; ++i) {
        const AnimationStep next = EffectAnimationStep(AnimationAxes::Horizontal, {4, 16, 0}, step,
                                                       preview.size(), picture.size());
        ApplyAnimationStep(next, picture, preview);
        step = next.step;
        SCOPED_TRACE(i);
        EXPECT_EQ(TestDdpReceiver::Picture(frames[std::size_t(i)], 64, 16), preview);
    }
}
