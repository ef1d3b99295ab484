// The DDP output on the worker's frame tap, with frames handed over directly
// (no text drawing, so ThreadSanitizer sees every thread involved).

#include "DdpReceiver.h"

#include "link/LedThread.h"
#include "link/LinkConfig.h"
#include "link/StationLink.h"
#include "outputs/DdpOutput.h"
#include "support/Pictures.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// The receiver's latest frame shows `picture` (the frames before it may
// still be arriving).
bool WaitUntilLastIs(const TestDdpReceiver& receiver, const QImage& picture) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
        const std::vector<ReceivedFrame> frames = receiver.Frames();
        if (!frames.empty() &&
            TestDdpReceiver::Picture(frames.back(), picture.width(), picture.height()) ==
                picture.convertToFormat(QImage::Format_RGB888)) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

} // namespace

TEST(DdpThreadTest, FramesReachTheReceiverWhileTheTapAndOptionsChange) {
    TestDdpReceiver receiver;
    ASSERT_TRUE(receiver.ok());
    DdpOutput output;
    StationLink link(LinkConfig::Loopback(3150));
    TLedThread worker(link);
    OutputSettings outputs;
    outputs.screen(ScreenId::x).ddp = {DdpReceiver{0x7F000001u, receiver.port()}};
    output.SetOutputs(outputs);
    output.SetScreenSize(ScreenId::x, 64, 16);
    worker.SetLinkScreenParams(ScreenId::x, 64, 16, 1, 0, 0, 1);
    worker.SetScreenInUse(ScreenId::x, true);
    worker.SetFrameTap(&output);
    worker.Resume();

    const QImage pictures[2] = {NoisePicture(64, 16, 1), NoisePicture(64, 16, 2)};
    // The user-interface side goes on changing the options and the tap while
    // the senders hand frames over.
    for (int i = 0; i < 40; ++i) {
        const long long done = worker.LastFrame(ScreenId::x).frames + 1;
        worker.LoadScreenBitmap(ScreenId::x, pictures[i % 2], {});
        worker.RequestFrame(ScreenId::x);
        outputs.screen(ScreenId::x).pixels.brightness = i % 2 == 0 ? 100 : 99;
        output.SetOutputs(outputs);
        if (i == 20) {
            worker.SetFrameTap(nullptr);
        } else if (i == 25) {
            worker.SetFrameTap(&output);
        }
        ASSERT_TRUE(worker.WaitFramesDone(ScreenId::x, done, 10s));
    }
    // With brightness 100 the last frame is the picture exactly.
    outputs.screen(ScreenId::x).pixels.brightness = 100;
    output.SetOutputs(outputs);
    const long long sent = output.Report(ScreenId::x).frames;
    worker.LoadScreenBitmap(ScreenId::x, pictures[1], {});
    worker.RequestFrame(ScreenId::x);
    ASSERT_TRUE(output.WaitFramesSent(ScreenId::x, sent + 1, 10s));
    ASSERT_TRUE(receiver.WaitFrames(1, 10s));
    EXPECT_TRUE(WaitUntilLastIs(receiver, pictures[1]));
    // Without the tap, a frame the cards get does not reach the wall.
    worker.SetFrameTap(nullptr);
    ASSERT_TRUE(output.WaitIdle(10s));
    const long long before = output.Report(ScreenId::x).frames;
    const long long done = worker.LastFrame(ScreenId::x).frames + 1;
    worker.LoadScreenBitmap(ScreenId::x, pictures[0], {});
    worker.RequestFrame(ScreenId::x);
    ASSERT_TRUE(worker.WaitFramesDone(ScreenId::x, done, 10s));
    EXPECT_FALSE(output.WaitFramesSent(ScreenId::x, before + 1, 300ms));
    EXPECT_EQ(output.Report(ScreenId::x).refused, 0);
}
