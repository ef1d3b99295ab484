#include "EngineFixture.h"

#include "playback/TrackOperations.h"
#include "support/ScriptedOperator.h"

#include <QDir>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr qint64 kSecond = kBytesPerSecond;

int PeakBin(const SpectrumData& spectrum) {
    return static_cast<int>(std::max_element(spectrum.begin() + 1, spectrum.end()) -
                            spectrum.begin());
}

} // namespace

TEST_F(EngineTest, OpenedTrackReportsItsLengthAndDuration) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    EXPECT_NE(track.stream, 0u);
    // Gapless decoding gives back exactly the frames that were encoded.
    EXPECT_EQ(track.length, 3 * kSecond);
    EXPECT_EQ(track.duration, 3);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);

    ASSERT_TRUE(OpenTrack(*engine, track, Long225()));
    EXPECT_EQ(track.duration, 225);
    // At this bit rate lame stores 16 kHz; the resampled length keeps a few
    // milliseconds of encoder delay.
    EXPECT_NEAR(static_cast<double>(track.length), 225.0 * kSecond, 0.1 * kSecond);
    EXPECT_DOUBLE_EQ(engine->BytesToSeconds(track.stream, 176400 * 2), 2.0);
}

TEST_F(EngineTest, SilentOutputIsAnnouncedOnce) {
    EXPECT_TRUE(engine->UsesSilentOutput());
    ScriptedOperator op;
    ReportOutputNotice(*engine, op);
    ReportOutputNotice(*engine, op);
    ASSERT_EQ(op.texts(QStringLiteral("status")).size(), 1);
    EXPECT_EQ(op.lastStatus(), NoAudioDeviceNotice());
}

TEST_F(EngineTest, PositionFollowsTheClockUntilTheTrackEnds) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Playing);
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);

    clock->AdvanceMilliseconds(1000);
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond);
    EXPECT_EQ(TrackSeconds(*engine, track), 1);
    EXPECT_EQ(TrackProgress(*engine, track), 33);

    clock->AdvanceMilliseconds(1999);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Playing);
    EXPECT_EQ(TrackSeconds(*engine, track), 2);

    clock->AdvanceMilliseconds(5);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);
    EXPECT_EQ(TrackProgress(*engine, track), 100);
    // Time after the end adds nothing.
    clock->AdvanceMilliseconds(1000);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);

    // Playing an ended stream again from its start works.
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(500);
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond / 2);
}

TEST_F(EngineTest, PositionAdvancesInRealTime) {
    auto realEngine =
        std::make_unique<Mp3AudioEngine>(nullptr, std::make_shared<SteadyAudioClock>());
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*realEngine, track, Sine3()));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(realEngine->Play(track.stream, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const qint64 position = realEngine->PositionBytes(track.stream);
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    EXPECT_GE(position, kSecond * 3 / 10);
    EXPECT_LE(position, kSecond * elapsed / 1000000 + kBytesPerFrame);
    EXPECT_EQ(realEngine->Activity(track.stream), ChannelActivity::Playing);
}

TEST_F(EngineTest, PauseHoldsThePositionAndPlayResumesThere) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(500);
    ASSERT_TRUE(engine->Pause(track.stream));
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Paused);
    clock->AdvanceMilliseconds(2000);
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond / 2);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Paused);

    ASSERT_TRUE(engine->Play(track.stream, false));
    clock->AdvanceMilliseconds(250);
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond * 3 / 4);

    // Resuming a playing stream changes nothing; restarting goes to the start.
    ASSERT_TRUE(engine->Play(track.stream, false));
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond * 3 / 4);
    ASSERT_TRUE(engine->Play(track.stream, true));
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);
}

TEST_F(EngineTest, StopTrackRewindsAndResumeStartsFromTheBeginning) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(1200);
    StopTrack(*engine, track);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);
    clock->AdvanceMilliseconds(1000);
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);
    ASSERT_TRUE(engine->Play(track.stream, false));
    clock->AdvanceMilliseconds(100);
    EXPECT_EQ(engine->PositionBytes(track.stream), kSecond / 10);
}

TEST_F(EngineTest, SeekingMovesThePositionOnlyWhilePlaying) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(100);

    // Half way along a 200-pixel bar.
    ASSERT_TRUE(SeekByClick(*engine, track, 100, 200));
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length / 2);
    clock->AdvanceMilliseconds(500);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length / 2 + kSecond / 2);

    // A third of the way: rounded down to a whole frame.
    ASSERT_TRUE(SeekByClick(*engine, track, 1, 3));
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length / 3 / 4 * 4);

    ASSERT_TRUE(engine->Pause(track.stream));
    const qint64 paused = engine->PositionBytes(track.stream);
    EXPECT_FALSE(SeekByClick(*engine, track, 150, 200));
    EXPECT_EQ(engine->PositionBytes(track.stream), paused);

    // Backwards while playing, and to the very end.
    ASSERT_TRUE(engine->Play(track.stream, false));
    ASSERT_TRUE(SeekByClick(*engine, track, 0, 200));
    EXPECT_EQ(engine->PositionBytes(track.stream), 0);
    ASSERT_TRUE(SeekByClick(*engine, track, 200, 200));
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);

    EXPECT_FALSE(engine->SetPositionBytes(track.stream, track.length + 4));
    EXPECT_FALSE(engine->SetPositionBytes(track.stream, -4));
}

TEST_F(EngineTest, SpectrumPeaksAtTheSineBin) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(700);
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, track.spectrum));
    // 440 Hz at 44100 / 1024 Hz per bin.
    EXPECT_EQ(PeakBin(track.spectrum), 10);
    // The channels mixed: (0.5 + 0.25) / 2, a little less off the bin centre.
    EXPECT_GT(track.spectrum[10], 0.30f);
    EXPECT_LT(track.spectrum[10], 0.40f);
    EXPECT_LT(track.spectrum[100], 0.01f);
    for (const float value : track.spectrum) {
        EXPECT_GE(value, 0.0f);
        EXPECT_LE(value, 1.0f);
    }
}

TEST_F(EngineTest, PausedSpectrumStaysAndStoppedSpectrumIsEmpty) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(400);
    ASSERT_TRUE(engine->Pause(track.stream));
    SpectrumData first{};
    SpectrumData later{};
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, first));
    clock->AdvanceMilliseconds(300);
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, later));
    EXPECT_EQ(first, later);
    EXPECT_EQ(PeakBin(first), 10);
    EXPECT_EQ(engine->Level(track.stream), 0u);

    StopTrack(*engine, track);
    EXPECT_FALSE(engine->ReadSpectrum(track.stream, later));
    EXPECT_EQ(*std::max_element(later.begin(), later.end()), 0.0f);
    EXPECT_FALSE(engine->ReadSpectrum(0, later));
}

TEST_F(EngineTest, LevelsFollowTheChannels) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(1000);
    const quint32 word = engine->Level(track.stream);
    const double left = word & 0xFFFF;
    const double right = word >> 16;
    EXPECT_NEAR(left, 0.5 * 32767, 0.05 * 32768);
    EXPECT_NEAR(right, 0.25 * 32767, 0.05 * 32768);

    const LevelPercents percents = ReadTrackLevels(*engine, track, TrackSeconds(*engine, track));
    EXPECT_NEAR(percents.left, 50, 3);
    EXPECT_NEAR(percents.right, 25, 3);
    // At position 0 seconds the level is not read at all.
    const LevelPercents atStart = ReadTrackLevels(*engine, track, 0);
    EXPECT_EQ(atStart.left, 0);
    EXPECT_EQ(atStart.right, 0);
}

TEST_F(EngineTest, LevelWordSplitsIntoPercents) {
    struct Case {
        quint32 word;
        int left;
        int right;
    };
    const Case cases[] = {
        {0, 0, 0},
        {32768u | (32768u << 16), 100, 100},
        {16384u | (8192u << 16), 50, 25},
        {32767u, 99, 0},
        {327u << 16, 0, 0},
        {328u << 16, 0, 1},
    };
    for (const Case& c : cases) {
        const LevelPercents p = LevelWordToPercents(c.word);
        EXPECT_EQ(p.left, c.left) << c.word;
        EXPECT_EQ(p.right, c.right) << c.word;
    }
}

TEST_F(EngineTest, LongTrackSkipsAheadWithoutPlayingInRealTime) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Long225()));
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(200000);
    EXPECT_EQ(TrackSeconds(*engine, track), 200);
    EXPECT_EQ(TrackProgress(*engine, track), 88);
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, track.spectrum));
    EXPECT_EQ(PeakBin(track.spectrum), 10);
    EXPECT_NEAR(LevelWordToPercents(engine->Level(track.stream)).left, 50, 5);
    clock->AdvanceMilliseconds(25500);
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine->PositionBytes(track.stream), track.length);
}

TEST_F(EngineTest, OpeningAnotherStreamFreesTheOldOne) {
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    const StreamHandle first = track.stream;
    ASSERT_TRUE(engine->Play(first, true));
    ASSERT_TRUE(OpenTrack(*engine, track, Sine3()));
    EXPECT_NE(track.stream, first);
    EXPECT_EQ(engine->Activity(first), ChannelActivity::Stopped);
    EXPECT_EQ(engine->LengthBytes(first), 0);
    EXPECT_FALSE(engine->Play(first, true));
    EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);

    // The engine keeps one stream even when its caller forgets to free.
    const StreamHandle second = track.stream;
    const StreamHandle third = engine->OpenFileStream(Sine3());
    EXPECT_NE(third, 0u);
    EXPECT_EQ(engine->LengthBytes(second), 0);

    CloseTrack(*engine, track);
    EXPECT_EQ(track.stream, 0u);
    engine->FreeStream(third);
    EXPECT_EQ(engine->LengthBytes(third), 0);
}

TEST_F(EngineTest, UnknownHandleReadsAsAnEmptyStoppedStream) {
    AudioTrack none;
    EXPECT_EQ(engine->Activity(0), ChannelActivity::Stopped);
    EXPECT_EQ(engine->Activity(12345), ChannelActivity::Stopped);
    EXPECT_EQ(engine->LengthBytes(7), 0);
    EXPECT_EQ(engine->PositionBytes(7), 0);
    EXPECT_FALSE(engine->Play(7, true));
    EXPECT_FALSE(engine->Pause(7));
    EXPECT_FALSE(engine->Stop(7));
    EXPECT_FALSE(engine->SetPositionBytes(7, 0));
    EXPECT_EQ(engine->Level(7), 0u);
    EXPECT_EQ(TrackSeconds(*engine, none), 0);
    EXPECT_EQ(TrackProgress(*engine, none), 0);
    EXPECT_FALSE(SeekByClick(*engine, none, 10, 100));
    StopTrack(*engine, none);
}

TEST_F(EngineTest, OtherRatesAndMonoAreResampledToTheEngineFormat) {
    struct Case {
        int rate;
        int channels;
    };
    for (const Case c : {Case{22050, 1}, Case{48000, 2}, Case{32000, 1}}) {
        ToneTrack tone;
        tone.sampleRate = c.rate;
        tone.channels = c.channels;
        tone.leftAmplitude = 0.4;
        const QString path = MakeToneMp3(
            QDir(TrackDir()).filePath(QStringLiteral("rate%1_%2.mp3").arg(c.rate).arg(c.channels)),
            tone);
        AudioTrack track;
        ASSERT_TRUE(OpenTrack(*engine, track, path)) << c.rate;
        EXPECT_NEAR(static_cast<double>(track.length), 3.0 * kSecond, 0.002 * kSecond) << c.rate;
        EXPECT_EQ(track.length % kBytesPerFrame, 0);
        ASSERT_TRUE(engine->Play(track.stream, true));
        clock->AdvanceMilliseconds(600);
        ASSERT_TRUE(engine->ReadSpectrum(track.stream, track.spectrum));
        EXPECT_EQ(PeakBin(track.spectrum), 10) << c.rate;
        const LevelPercents levels = LevelWordToPercents(engine->Level(track.stream));
        EXPECT_NEAR(levels.left, 40, 4) << c.rate;
        if (c.channels == 1) {
            EXPECT_EQ(levels.left, levels.right) << c.rate;
        }
    }
}
