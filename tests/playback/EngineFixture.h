#pragma once

#include "TestTracks.h"

#include "playback/AudioClock.h"
#include "playback/Mp3AudioEngine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// The tracks every engine test shares, made once per test program, and an
// engine on the silent output with a clock the test steps.
class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    void SetUp() override {
        clock = std::make_shared<ManualAudioClock>();
        engine = std::make_unique<Mp3AudioEngine>(nullptr, clock);
    }

    static QString TrackDir() { return s_dir->path(); }
    // 3 s of 440 Hz, left at half and right at a quarter of full scale.
    static QString& Sine3() { return s_sine3; }
    // 225 s of the same tone at a low bit rate.
    static QString& Long225() { return s_long225; }

    std::shared_ptr<ManualAudioClock> clock;
    std::unique_ptr<Mp3AudioEngine> engine;

private:
    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_sine3;
    static QString s_long225;
};
