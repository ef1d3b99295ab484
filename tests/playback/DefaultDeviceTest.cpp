#include "EngineFixture.h"

#include "playback/TrackOperations.h"

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST_F(EngineTest, DefaultEngineAlwaysPlays) {
    // With a sound card it plays through it; without one (this machine, CI)
    // it plays silently and says so. Some cards take a while to start
    // consuming, hence the generous waits.
    std::unique_ptr<Mp3AudioEngine> station = Mp3AudioEngine::CreateDefault();
    const QString notice = station->TakeOutputNotice();
    EXPECT_EQ(notice.isEmpty(), !station->UsesSilentOutput());
    if (station->UsesSilentOutput()) {
        EXPECT_EQ(notice, NoAudioDeviceNotice());
    }
    const auto waitFor = [](const auto& condition) {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (!condition() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
        }
        return condition();
    };
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*station, track, Sine3()));
    ASSERT_TRUE(station->Play(track.stream, true));
    EXPECT_TRUE(waitFor([&] { return station->PositionBytes(track.stream) > 0; }));
    EXPECT_EQ(station->Activity(track.stream), ChannelActivity::Playing);

    ASSERT_TRUE(station->Pause(track.stream));
    const qint64 held = station->PositionBytes(track.stream);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(station->PositionBytes(track.stream), held);
    ASSERT_TRUE(station->Play(track.stream, false));
    EXPECT_TRUE(waitFor([&] { return station->PositionBytes(track.stream) > held; }));

    ASSERT_TRUE(station->SetPositionBytes(track.stream, track.length - kBytesPerSecond / 2));
    EXPECT_GE(station->PositionBytes(track.stream), track.length - kBytesPerSecond / 2);
    EXPECT_TRUE(
        waitFor([&] { return station->Activity(track.stream) == ChannelActivity::Stopped; }));
    EXPECT_EQ(station->PositionBytes(track.stream), track.length);
    StopTrack(*station, track);
    EXPECT_EQ(station->PositionBytes(track.stream), 0);
}
