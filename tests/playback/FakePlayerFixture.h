#pragma once
// A player over fakes: every port records what it was told, every timer and
// the audio engine are moved by the test.
#include "ControllerFakes.h"

#include "playback/PlaybackController.h"

#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

class RecordingScreens final : public ScreenPort {
public:
    QList<std::pair<QString, QString>> rows;
    void RenderRows(const QString& row1, const QString& row2) override {
        rows.append({row1, row2});
    }
};

class FakePlayerFixture : public ::testing::Test {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession document{settings};
    Playlist playlist;
    FakeAudioEngine engine;
    ScriptedOperator op;
    RecordingLink link;
    RecordingScreens screens;
    RecordingView view;
    ManualTimer heartbeat;
    ManualTimer lineTimer;
    ManualTimer nextTimer;
    PlaybackController player{{settings, document, playlist, engine, op, link, screens, view,
                               heartbeat, lineTimer, nextTimer}};
};
