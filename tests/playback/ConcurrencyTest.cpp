#include "EngineFixture.h"
#include "ThreadedTestDevice.h"

#include "playback/TrackOperations.h"
#include "support/ScriptedOperator.h"

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Asks until the stream stops or the deadline passes, the way the heartbeat
// does, and checks every answer on the way.
qint64 FollowUntilStopped(Mp3AudioEngine& engine, AudioTrack& track,
                          std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    qint64 last = 0;
    while (engine.Activity(track.stream) != ChannelActivity::Stopped &&
           std::chrono::steady_clock::now() < until) {
        const qint64 position = engine.PositionBytes(track.stream);
        EXPECT_GE(position, last);
        EXPECT_LE(position, track.length);
        last = position;
        engine.ReadSpectrum(track.stream, track.spectrum);
        engine.Level(track.stream);
        std::this_thread::sleep_for(2ms);
    }
    return last;
}

} // namespace

class ThreadedDeviceTest : public EngineTest {
protected:
    ThreadedTestDevice* UseThreadedDevice(qint64 capacity, double speed) {
        auto device = std::make_unique<ThreadedTestDevice>(capacity, speed);
        ThreadedTestDevice* raw = device.get();
        engine = std::make_unique<Mp3AudioEngine>(std::move(device), clock);
        EXPECT_FALSE(engine->UsesSilentOutput());
        EXPECT_TRUE(engine->TakeOutputNotice().isEmpty());
        return raw;
    }
};

TEST_F(ThreadedDeviceTest, TrackPlaysToItsEndThroughTheDeviceThread) {
    ThreadedTestDevice* device = UseThreadedDevice(4096, 20.0);
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    FollowUntilStopped(*engine, track, 5000ms);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);
    // Every frame went through the device, nearly all of them sounding.
    EXPECT_GT(device->AudibleFrames(), 3 * kSampleRate * 95 / 100);
}

TEST_F(ThreadedDeviceTest, MetersLookAtWhatIsHeardNotWhatIsQueued) {
    UseThreadedDevice(8192, 1.0);
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    std::this_thread::sleep_for(300ms);
    const qint64 heard = engine->PositionBytes(track.stream);
    EXPECT_GT(heard, 0);
    EXPECT_LT(heard, kBytesPerSecond);
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, track.spectrum));
    EXPECT_EQ(std::max_element(track.spectrum.begin(), track.spectrum.end()) -
                  track.spectrum.begin(),
              10);
    EXPECT_NEAR(LevelWordToPercents(engine->Level(track.stream)).left, 50, 4);
}

TEST_F(ThreadedDeviceTest, CommandsFromTheUserThreadWhileTheDevicePulls) {
    ThreadedTestDevice* device = UseThreadedDevice(2048, 10.0);
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Long225()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    QRandomGenerator random(7);
    const auto until = std::chrono::steady_clock::now() + 400ms;
    int commands = 0;
    while (std::chrono::steady_clock::now() < until) {
        switch (random.bounded(5)) {
        case 0: {
            const qint64 target = random.bounded(static_cast<int>(track.length / 4)) * 4;
            const bool playing = engine->Activity(track.stream) == ChannelActivity::Playing;
            ASSERT_TRUE(engine->SetPositionBytes(track.stream, target));
            const qint64 now = engine->PositionBytes(track.stream);
            EXPECT_GE(now, target);
            EXPECT_LT(now, target + (playing ? kBytesPerSecond : 1));
            break;
        }
        case 1: {
            if (engine->Pause(track.stream)) {
                const qint64 held = engine->PositionBytes(track.stream);
                std::this_thread::sleep_for(3ms);
                EXPECT_EQ(engine->PositionBytes(track.stream), held);
            }
            break;
        }
        case 2:
            ASSERT_TRUE(engine->Play(track.stream, false));
            break;
        default:
            EXPECT_LE(engine->PositionBytes(track.stream), track.length);
            engine->ReadSpectrum(track.stream, track.spectrum);
            engine->Level(track.stream);
            std::this_thread::sleep_for(1ms);
            break;
        }
        ++commands;
    }
    EXPECT_GT(commands, 20);
    EXPECT_GT(device->Flushes(), 0);
    // Replacing the stream while the device pulls from it.
    ASSERT_TRUE(engine->Play(track.stream, false));
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    FollowUntilStopped(*engine, track, 5000ms);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);
}

TEST_F(ThreadedDeviceTest, LostDeviceGoesOnSilentlyFromWhereItWas) {
    ThreadedTestDevice* device = UseThreadedDevice(4096, 4.0);
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    std::this_thread::sleep_for(100ms);
    device->Fail();
    const qint64 before = engine->PositionBytes(track.stream);
    EXPECT_TRUE(engine->UsesSilentOutput());
    EXPECT_GT(before, 0);
    // From here the manual clock drives the stream.
    clock->AdvanceMilliseconds(500);
    EXPECT_EQ(engine->PositionBytes(track.stream), before + kBytesPerSecond / 2);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Playing);

    ScriptedOperator op;
    ReportOutputNotice(*engine, op);
    ReportOutputNotice(*engine, op);
    EXPECT_EQ(op.texts(QStringLiteral("status")), QStringList{AudioDeviceLostNotice()});

    clock->AdvanceMilliseconds(3000);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);
}
