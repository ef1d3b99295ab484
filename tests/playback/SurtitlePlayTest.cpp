// Subtitle files on stage: the cues follow the track, or without one the
// station's own clock from F1, the screens go blank between cues, and a file
// a translator changes on disk is read again without a jump on the screens.
#include "FakePlayerFixture.h"

#include "playback/PlaybackController.h"

#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

using Rows = QList<std::pair<QString, QString>>;

const char* const kReloaded = "字幕文件已在外部修改，已重新载入";

// Three cues: A alone, then B and C back to back.
const char* const kThreeCues = "1\r\n00:00:00,500 --> 00:00:01,000\r\nA\r\n\r\n"
                               "2\r\n00:00:01,500 --> 00:00:02,500\r\nB\r\n\r\n"
                               "3\r\n00:00:02,500 --> 00:00:03,000\r\nC\r\n";

class SurtitlePlay : public FakePlayerFixture {
protected:
    std::shared_ptr<ManualAudioClock> clock = std::make_shared<ManualAudioClock>();
    QString srt;

    void SetUp() override {
        player.setShowClock(clock);
        player.Start();
        settings.Play.AutoPlayCaption = true;
        settings.Play.AutoPlayLoopMode = 0;
    }

    void Open(const char* text, double trackSeconds = 0) {
        srt = dir.write(QStringLiteral("act.srt"), EncodeGbk(U(text)));
        if (trackSeconds > 0) {
            const QString mp3 = dir.write(QStringLiteral("act.mp3"), "mp3");
            engine.lengths[mp3] = trackSeconds;
        }
        op.openAnswers.push_back(srt);
        player.AddEntry();
        ASSERT_EQ(player.state(), PlayerState::Ready);
    }
    // The track (or the show clock) moves on, then one heartbeat.
    void Tick(int ms = 100) {
        engine.Advance(ms / 1000.0);
        clock->AdvanceMilliseconds(ms);
        ASSERT_TRUE(heartbeat.Fire());
    }
    void Rewrite(const char* text) { dir.write(QStringLiteral("act.srt"), EncodeGbk(U(text))); }
};

TEST_F(SurtitlePlay, WithItsTrackEachCueIsShownAtItsStartAndTheScreensBlankBetween) {
    Open(kThreeCues, 4.0);
    EXPECT_FALSE(player.trackPath().isEmpty());
    EXPECT_TRUE(player.lyricColumns());
    player.PlayFromStart();
    EXPECT_EQ(player.timeTable(),
              (std::vector<TimedLine>{{500, 0}, {1000, 1}, {1500, 2}, {2500, 3}, {3000, 4}}));
    EXPECT_FALSE(lineTimer.IsActive());
    Tick(400);
    EXPECT_TRUE(screens.rows.isEmpty());
    Tick(); // 0.5 s
    EXPECT_EQ(screens.rows, (Rows{{U("A"), U("")}}));
    Tick(500); // 1.0 s: A ends, and nothing stands in its place
    Tick(500); // 1.5 s: B, with C, which follows it at once, below it
    Tick(1000);
    Tick(500);
    EXPECT_EQ(
        screens.rows,
        (Rows{{U("A"), U("")}, {U(""), U("")}, {U("B"), U("C")}, {U("C"), U("")}, {U(""), U("")}}));
    for (int i = 0; i < 12; ++i) {
        Tick();
    }
    EXPECT_EQ(player.state(), PlayerState::Ready); // the track ended after the last blank
}

TEST_F(SurtitlePlay, WithoutATrackTheShowClockRunsFromF1AndStopsWhilePaused) {
    Open(kThreeCues);
    EXPECT_TRUE(player.trackPath().isEmpty());
    clock->AdvanceMilliseconds(60000); // time passing before the show does not count
    EXPECT_FALSE(player.HandleKey(PlayerKey::F1));
    ASSERT_EQ(player.state(), PlayerState::Playing);
    EXPECT_FALSE(lineTimer.IsActive());
    EXPECT_EQ(player.selectedLine(), -1);
    Tick(400);
    EXPECT_EQ(player.selectedLine(), -1);
    Tick(); // 0.5 s
    EXPECT_EQ(player.selectedLine(), 0);
    Tick(700); // 1.2 s
    EXPECT_EQ(player.selectedLine(), 1);
    player.Pause();
    clock->AdvanceMilliseconds(30000);
    ASSERT_TRUE(heartbeat.Fire());
    EXPECT_EQ(player.selectedLine(), 1);
    player.Continue();
    Tick(300); // 1.5 s of the show
    EXPECT_EQ(player.selectedLine(), 2);
    Tick(1000); // 2.5 s
    EXPECT_EQ(player.selectedLine(), 3);
    EXPECT_EQ(player.state(), PlayerState::Playing);
    Tick(500); // 3.0 s: the last blank is shown, and the file has ended
    EXPECT_EQ(player.selectedLine(), 4);
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(screens.rows.last(), (std::pair{U(""), U("")}));

    // Stepping by hand goes through the blanks as through any line.
    player.SelectLine(0);
    EXPECT_TRUE(player.HandleKey(PlayerKey::PageDown));
    EXPECT_EQ(player.selectedLine(), 1);
    EXPECT_EQ(screens.rows.last(), (std::pair{U(""), U("")}));
}

TEST_F(SurtitlePlay, AFileChangedOnDiskIsReadAgainWithTheSelectionKeptAndNothingSent) {
    Open(kThreeCues);
    link.open = true;
    player.SelectLine(2);
    const qsizetype sent = screens.rows.size();

    // Touched without a change (or saved by the station itself): nothing happens.
    Rewrite(kThreeCues);
    player.ReloadChangedScript();
    EXPECT_TRUE(op.texts(QStringLiteral("status")).filter(U(kReloaded)).isEmpty());

    Rewrite("1\r\n00:00:00,500 --> 00:00:01,000\r\nA\r\n\r\n"
            "2\r\n00:00:01,500 --> 00:00:02,500\r\nB fixed\r\n\r\n"
            "3\r\n00:00:02,500 --> 00:00:03,000\r\nC fixed\r\n");
    player.ReloadChangedScript();
    EXPECT_EQ(document.lines()[2].Text, U("B fixed"));
    EXPECT_EQ(player.selectedLine(), 2);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{2, 2}));
    EXPECT_EQ(screens.rows.size(), sent);
    EXPECT_EQ(op.lastStatus(), U(kReloaded));
    // The operator steps: the new text goes out.
    player.StepLines(1);
    EXPECT_EQ(screens.rows.last(), (std::pair{U("C fixed"), U("")}));

    // Shorter now: the selection stays on the last line there is.
    Rewrite("1\r\n00:00:00,500 --> 00:00:01,000\r\nA\r\n");
    player.ReloadChangedScript();
    EXPECT_EQ(player.selectedLine(), 1);
    EXPECT_EQ(screens.rows.last(), (std::pair{U("C fixed"), U("")}));
}

TEST_F(SurtitlePlay, WhilePlayingTheReloadWaitsForTheNextCueDue) {
    Open(kThreeCues, 4.0);
    player.PlayFromStart();
    for (int i = 0; i < 12; ++i) {
        Tick();
    }
    ASSERT_EQ(player.selectedLine(), 1); // 1.2 s: the blank after A
    const qsizetype sent = screens.rows.size();
    // A is retimed to end later: by the new times A is due again now, but
    // the audience keeps its blank until B is due; A never comes back.
    Rewrite("1\r\n00:00:00,500 --> 00:00:01,400\r\nA\r\n\r\n"
            "2\r\n00:00:01,500 --> 00:00:02,500\r\nB\r\n\r\n"
            "3\r\n00:00:02,500 --> 00:00:03,000\r\nC\r\n");
    player.ReloadChangedScript();
    Tick();
    EXPECT_EQ(screens.rows.size(), sent);
    Tick(); // 1.4 s: the new end of A, the blank already shown
    EXPECT_EQ(screens.rows.size(), sent);
    Tick(); // 1.5 s
    EXPECT_EQ(screens.rows.mid(sent), (Rows{{U("B"), U("C")}}));
}

TEST_F(SurtitlePlay, UnsavedEditsAreKeptOrDroppedAsTheOperatorSays) {
    Open(kThreeCues, 4.0);
    ASSERT_TRUE(document.StampTime(0, 0.75)); // an edit on the editing page
    Rewrite("1\r\n00:00:00,500 --> 00:00:01,000\r\nA outside\r\n");
    op.yesNoAnswers.push_back(false);
    player.ReloadChangedScript();
    EXPECT_EQ(op.texts(QStringLiteral("ask")).size(), 1);
    EXPECT_TRUE(document.document().modified);
    EXPECT_EQ(document.lines()[0].Source, U("[00:00.75]"));
    // The same change is not asked about again; the next one is.
    player.ReloadChangedScript();
    EXPECT_EQ(op.texts(QStringLiteral("ask")).size(), 1);
    Rewrite("1\r\n00:00:00,500 --> 00:00:01,000\r\nA again\r\n");
    op.yesNoAnswers.push_back(true);
    player.ReloadChangedScript();
    EXPECT_EQ(op.texts(QStringLiteral("ask")).size(), 2);
    EXPECT_FALSE(document.document().modified);
    EXPECT_EQ(document.lines()[0].Text, U("A again"));
    EXPECT_EQ(op.lastStatus(), U(kReloaded));
}

TEST_F(SurtitlePlay, RecordingTimesASubtitleFileAndPutsItsRowsInOrderAfterwards) {
    Open(kThreeCues, 10.0);
    player.StartRecording();
    ASSERT_EQ(player.state(), PlayerState::Recording);
    player.SelectLine(0);
    for (int i = 0; i < 40; ++i) {
        Tick(); // 4 s
    }
    player.StepLines(1); // the blank after A: A ends at 4 s
    player.StopRecording();
    EXPECT_EQ(player.selectedLine(), -1);
    EXPECT_TRUE(document.document().modified);
    // A now runs into B, so its blank is gone.
    EXPECT_EQ(document.lines()[0].Text, U("A"));
    EXPECT_EQ(document.lines()[1].Text, U("B"));
    EXPECT_EQ(document.lines().size(), 4);
}

} // namespace
