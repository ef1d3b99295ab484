#include "ControllerFakes.h"
#include "TestTracks.h"

#include "playback/AudioClock.h"
#include "playback/Mp3AudioEngine.h"
#include "playback/PlaybackController.h"

#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "documents/ScriptEditing.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Drawing a line takes time; here the song goes on while it is drawn.
class SlowScreens final : public ScreenPort {
public:
    std::function<void()> whileDrawing;
    QStringList firstRows;
    void RenderRows(const QString& row1, const QString&) override {
        firstRows.append(row1);
        if (whileDrawing) {
            whileDrawing();
        }
    }
};

// Lyric lines recorded against a real MP3 on the station's engine, whose
// silent output runs on a clock the test moves.
class RecordingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tracks = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_tracks->isValid());
        ToneTrack tone;
        tone.seconds = 8.0;
        tone.lameOptions = {QStringLiteral("-b"), QStringLiteral("32")};
        s_song = MakeToneMp3(s_tracks->filePath(QStringLiteral("song.mp3")), tone);
    }
    static void TearDownTestSuite() { s_tracks.reset(); }

    TempDir dir;
    SettingsStore settings;
    DocumentSession document{settings};
    Playlist playlist;
    std::shared_ptr<ManualAudioClock> clock = std::make_shared<ManualAudioClock>();
    Mp3AudioEngine engine{nullptr, clock};
    ScriptedOperator op;
    RecordingLink link;
    SlowScreens screens;
    RecordingView view;
    ManualTimer heartbeat;
    ManualTimer lineTimer;
    ManualTimer nextTimer;
    PlaybackController player{{settings, document, playlist, engine, op, link, screens, view,
                               heartbeat, lineTimer, nextTimer}};

    void SetUp() override { player.Start(); }

    // song.lrc beside a copy of the song, added to the playlist and opened.
    QString AddSong(const QByteArray& lyrics, bool withTrack = true) {
        if (withTrack) {
            EXPECT_TRUE(QFile::copy(s_song, dir.file(QStringLiteral("song.mp3"))));
        }
        const QString lrc = dir.write(QStringLiteral("song.lrc"), lyrics);
        op.openAnswers.push_back(lrc);
        player.AddEntry();
        return lrc;
    }
    double Position() {
        return engine.BytesToSeconds(player.track().stream,
                                     engine.PositionBytes(player.track().stream));
    }
    // Moves the track to `seconds` from its start.
    void At(double seconds) {
        const qint64 target = qint64(seconds * 1000.0 + 0.5);
        const qint64 now = qint64(Position() * 1000.0 + 0.5);
        ASSERT_GE(target, now);
        clock->AdvanceMilliseconds(target - now);
        ASSERT_DOUBLE_EQ(Position(), seconds);
    }
    QStringList Sources() const {
        QStringList out;
        for (const LineItem& item : document.lines()) {
            out << item.Source;
        }
        return out;
    }

    static std::unique_ptr<QTemporaryDir> s_tracks;
    static QString s_song;
};
std::unique_ptr<QTemporaryDir> RecordingTest::s_tracks;
QString RecordingTest::s_song;

TEST_F(RecordingTest, KeysAtKnownPositionsGiveThoseTagsAndPlayBackAtThoseTimes) {
    const QString lrc = AddSong(EncodeGbk(U("[ti:歌]\r\n一\r\n二\r\n三\r\n四\r\n")));
    ASSERT_EQ(player.state(), PlayerState::Ready);
    link.open = true;
    player.StartRecording();
    EXPECT_EQ(link.calls, QStringList{QStringLiteral("close")});
    ASSERT_EQ(player.state(), PlayerState::Recording);
    EXPECT_EQ(engine.Activity(player.track().stream), ChannelActivity::Playing);

    At(1.25);
    player.ChooseLine(0); // the operator clicks the first line as it is sung
    At(2.5);
    EXPECT_TRUE(player.HandleKey(PlayerKey::PageDown));
    At(4.0);
    player.ManualNext(); // "下一条" on the manual control window
    At(65.0 / 10.0);
    player.StepForwardByJump(); // Space in the line list
    ASSERT_TRUE(heartbeat.Fire());
    EXPECT_EQ(player.state(), PlayerState::Recording);
    EXPECT_EQ(Sources(),
              (QStringList{U("[00:01.00]"), U("[00:02.00]"), U("[00:04.00]"), U("[00:06.00]")}));
    // The last line: a further key moves nothing and stamps nothing.
    At(7.0);
    player.StepForwardByJump();
    EXPECT_EQ(document.lines()[3].Source, U("[00:06.00]"));

    player.StopRecording();
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(engine.Activity(player.track().stream), ChannelActivity::Stopped);
    EXPECT_EQ(engine.PositionBytes(player.track().stream), 0);
    ASSERT_TRUE(document.Save());
    EXPECT_EQ(TempDir::read(lrc), EncodeGbk(U("[00:01.00]一\r\n[00:02.00]二\r\n[00:04.00]三\r\n"
                                              "[00:06.00]四\r\n")));

    // Opened again and played: each line is due at its recorded time.
    player.SelectEntry(-1);
    player.SelectEntry(0);
    ASSERT_EQ(Sources().size(), 4);
    settings.Play.AutoPlayCaption = true;
    player.PlayFromStart();
    ASSERT_EQ(player.state(), PlayerState::Playing);
    QList<std::pair<qint64, qsizetype>> changes;
    qsizetype shown = -1;
    for (int tenth = 1; tenth <= 70; ++tenth) {
        clock->AdvanceMilliseconds(100);
        ASSERT_TRUE(heartbeat.Fire());
        if (player.selectedLine() != shown) {
            shown = player.selectedLine();
            changes.append({qint64(tenth) * 100, shown});
        }
    }
    EXPECT_EQ(changes,
              (QList<std::pair<qint64, qsizetype>>{{1000, 0}, {2000, 1}, {4000, 2}, {6000, 3}}));
}

TEST_F(RecordingTest, TheStampIsTheMomentOfTheKeyNotTheEndOfDrawing) {
    AddSong(EncodeGbk(U("一\r\n二\r\n")));
    player.StartRecording();
    At(1.9);
    // Drawing the line takes longer than the rest of this second.
    screens.whileDrawing = [this] { clock->AdvanceMilliseconds(300); };
    player.ChooseLine(0);
    At(3.95);
    player.ManualNext();
    EXPECT_EQ(Sources(), (QStringList{U("[00:01.00]"), U("[00:03.00]")}));
    // A second click on the selected line takes it again.
    screens.whileDrawing = nullptr;
    At(5.0);
    player.ChooseLine(1);
    EXPECT_EQ(document.lines()[1].Source, U("[00:05.00]"));
    EXPECT_EQ(document.document().lines[1], U("[00:05.00]二"));
}

TEST_F(RecordingTest, TheEndOfTheTrackEndsTheRecording) {
    AddSong(EncodeGbk(U("一\r\n")));
    player.StartRecording();
    At(2.0);
    player.ChooseLine(0);
    clock->AdvanceMilliseconds(7000);
    ASSERT_TRUE(heartbeat.Fire());
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(player.progress(), 0);
    EXPECT_EQ(engine.PositionBytes(player.track().stream), 0);
    // Outside recording a click only selects.
    player.ChooseLine(0);
    EXPECT_EQ(document.lines()[0].Source, U("[00:02.00]"));
    EXPECT_TRUE(document.document().modified);
}

TEST_F(RecordingTest, RecordingIsRefusedWhereItCannotBeDone) {
    // No document at all.
    player.StartRecording();
    EXPECT_EQ(player.state(), PlayerState::NoDocument);

    // A lyric file whose track is missing: nothing, not even a message.
    AddSong(EncodeGbk(U("一\r\n")), false);
    ASSERT_EQ(player.state(), PlayerState::Ready);
    player.StartRecording();
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_TRUE(op.texts(QStringLiteral("inform")).isEmpty());

    // A plain script: the message.
    op.openAnswers.push_back(dir.write(QStringLiteral("play.txt"), "x\r\n"));
    player.AddEntry();
    player.StartRecording();
    EXPECT_EQ(op.texts(QStringLiteral("inform")), QStringList{EditingTexts::kOnlyLyricsRecord});
    EXPECT_EQ(player.state(), PlayerState::Ready);
}

TEST_F(RecordingTest, NoRecordingWhileTheSongPlaysOrPauses) {
    AddSong(EncodeGbk(U("[00:01.00]一\r\n")));
    player.PlayFromStart();
    At(0.5);
    player.StartRecording();
    EXPECT_EQ(player.state(), PlayerState::Playing);
    EXPECT_DOUBLE_EQ(Position(), 0.5); // not restarted under the audience
    player.Pause();
    player.StartRecording();
    EXPECT_EQ(player.state(), PlayerState::Paused);
    // The stop of a recording leaves a paused song alone.
    player.StopRecording();
    EXPECT_EQ(player.state(), PlayerState::Paused);
    EXPECT_EQ(engine.Activity(player.track().stream), ChannelActivity::Paused);
    EXPECT_FALSE(document.document().modified);
}

} // namespace
