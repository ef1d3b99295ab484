#include "FakePlayerFixture.h"

#include "playback/PlaybackController.h"

#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class PlayerTest : public FakePlayerFixture {
protected:
    void SetUp() override { player.Start(); }

    QString file(const QString& name, const QString& text = QString()) {
        return dir.write(name, EncodeGbk(text));
    }
    QString script(const QString& name, int lines) {
        QStringList all;
        for (int i = 0; i < lines; ++i) {
            all << name + U(" 第") + QString::number(i) + U("行");
        }
        return file(name, all.join(U("\r\n")));
    }
    void add(const QString& path) {
        op.openAnswers.push_back(path);
        player.AddEntry();
    }
    // One heartbeat after the track moved on by a tenth of a second.
    void beat(int count = 1) {
        for (int i = 0; i < count; ++i) {
            engine.Advance(0.1);
            ASSERT_TRUE(heartbeat.Fire());
        }
    }
    QString selectedText() const {
        return player.selectedLine() < 0 ? QString() : document.lines()[player.selectedLine()].Text;
    }
};

TEST_F(PlayerTest, AddingEntriesDecidesIconsAndWhatOpens) {
    const QString mp3 = file(U("song.mp3"));
    file(U("song.lrc"), U("[00:01.00]一\r\n[00:02.00]二\r\n"));
    add(mp3);
    EXPECT_EQ(playlist.rows().last(), PlaylistRow({U("song.mp3"), 1, 3, 4}));
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(player.trackPath(), mp3);
    EXPECT_EQ(document.document().kind, DocumentKind::Lyric);
    EXPECT_TRUE(player.lyricColumns());
    EXPECT_EQ(player.track().duration, 3);

    const QString tune = file(U("tune.mp3"));
    add(tune);
    EXPECT_EQ(playlist.rows().last(), PlaylistRow({U("tune.mp3"), 1, kNoMarker, 4}));
    EXPECT_EQ(player.state(), PlayerState::Ready); // the track alone
    EXPECT_FALSE(document.document().isOpen());
    EXPECT_EQ(engine.liveStreams(), 1u); // the previous track's stream was freed

    const QString lonely = file(U("other.lrc"), U("[00:01]x\r\n"));
    add(lonely);
    EXPECT_EQ(playlist.rows().last(), PlaylistRow({U("other.lrc"), 2, 3, kNoMarker}));
    EXPECT_TRUE(player.trackPath().isEmpty());
    EXPECT_EQ(player.selectedEntry(), 2);
    EXPECT_EQ(view.entrySelections.last(), 2);

    add(file(U("clip.wav")));
    EXPECT_EQ(op.texts(U("inform")), QStringList({U("不支持该文件类型。")}));
    EXPECT_EQ(playlist.count(), 3);

    // A lyric entry whose script is missing, with no track: nothing to play.
    add(dir.file(U("gone.lrc")));
    EXPECT_EQ(player.state(), PlayerState::NoDocument);
}

TEST_F(PlayerTest, OpeningAPlaylist) {
    const QString a = script(U("a.txt"), 2);
    const QString b = script(U("b.txt"), 2);
    const QString wav = file(U("c.wav"));
    const QString lft =
        file(U("show.lft"), U("  ") + a + U("  \r\n\r\n") + dir.file(U("gone.txt")) + U("\r\n") +
                                wav + U("\r\n") + b + U("\r\n"));
    op.openAnswers = {lft};
    player.OpenPlaylist();
    EXPECT_EQ(playlist.entries(), QStringList({a, b}));
    EXPECT_EQ(playlist.path(), lft);
    EXPECT_EQ(player.selectedEntry(), 0);
    EXPECT_EQ(document.document().path, a);
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_TRUE(screens.rows.isEmpty()); // opening does not blank the screens

    // A script chosen in the playlist dialog gets the hint and changes nothing.
    op.openAnswers = {a};
    player.OpenPlaylist();
    EXPECT_EQ(op.texts(U("inform")),
              QStringList({U("LED工程文件、MP3文件、文本文件或歌词文件，请在右边列表中添加。")}));
    op.openAnswers = {wav};
    player.OpenPlaylist();
    EXPECT_EQ(op.texts(U("inform")).last(), U("不支持的文件类型。"));
    EXPECT_EQ(playlist.path(), lft);
    EXPECT_EQ(document.document().path, a);

    // Saving an opened list writes to its file without asking.
    player.SavePlaylist();
    EXPECT_TRUE(op.texts(U("save")).isEmpty());
}

TEST_F(PlayerTest, MovingDoesNotMakeClosingAskButAddingDoes) {
    const QString a = script(U("a.txt"), 1);
    const QString b = script(U("b.txt"), 1);
    op.openAnswers = {file(U("l.lft"), a + U("\r\n") + b + U("\r\n"))};
    player.OpenPlaylist();
    player.MoveEntry(+1);
    EXPECT_EQ(playlist.entries(), QStringList({b, a}));
    EXPECT_EQ(player.selectedEntry(), 1);
    EXPECT_EQ(document.document().path, a);
    player.ShutDownPlaylist();
    EXPECT_TRUE(op.texts(U("ask")).isEmpty());
    EXPECT_EQ(settings.Play.LastOpenFile, playlist.path());

    add(script(U("c.txt"), 1));
    op.yesNoAnswers = {false};
    player.ShutDownPlaylist();
    EXPECT_EQ(op.texts(U("ask")), QStringList({U("当前列表已经发生改变，是否保存？")}));
}

TEST_F(PlayerTest, NewUnsavedListDismissedAtCloseRemembersNothing) {
    add(script(U("a.txt"), 1));
    op.yesNoAnswers = {true};
    op.saveAnswers = {QString()};
    player.ShutDownPlaylist();
    EXPECT_TRUE(settings.Play.LastOpenFile.isEmpty());
}

TEST_F(PlayerTest, NewPlaylistBlanksTheScreensAndClosesEverything) {
    const QString mp3 = file(U("song.mp3"));
    add(mp3);
    op.yesNoAnswers = {false};
    player.NewPlaylist();
    EXPECT_EQ(playlist.count(), 0);
    EXPECT_EQ(player.state(), PlayerState::NoDocument);
    EXPECT_TRUE(player.trackPath().isEmpty());
    EXPECT_EQ(player.track().duration, 0);
    EXPECT_EQ(screens.rows, (QList<std::pair<QString, QString>>{{QString(), QString()}}));
}

TEST_F(PlayerTest, RestoreReopensTheLastList) {
    const QString a = script(U("a.txt"), 2);
    settings.Play.LastOpenFile = file(U("last.lft"), a + U("\r\n ") + a + U("\r\n"));
    player.RestorePlaylist();
    EXPECT_EQ(playlist.entries(), QStringList({a})); // lines are not trimmed here
    EXPECT_EQ(player.selectedEntry(), 0);
    EXPECT_EQ(player.state(), PlayerState::Ready);

    settings.Play.LastOpenFile = dir.file(U("gone.lft"));
    player.RestorePlaylist();
    EXPECT_EQ(playlist.count(), 0);
    EXPECT_TRUE(playlist.path().isEmpty());
}

struct ModeCase {
    int mode;
    int startEntry;
    int entryAfter;
    bool nextFileStarts;
};

class PlayModes : public PlayerTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PlayModes, EndOfScriptFollowsThePlayMode) {
    const ModeCase c = GetParam();
    settings.Play.AutoPlayLoopMode = c.mode;
    settings.Play.AutoPlayCaption = true;
    settings.Play.AutoPlayTimeText = 5;
    settings.Play.AutoPlayTimeFile = 20;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        add(script(U(name), 2));
    }
    player.SelectEntry(c.startEntry);
    player.PlayFromStart();
    EXPECT_EQ(link.calls, QStringList({U("open")}));
    EXPECT_EQ(player.state(), PlayerState::Playing);
    EXPECT_EQ(player.selectedLine(), 0);
    EXPECT_EQ(lineTimer.interval, 500);
    ASSERT_TRUE(lineTimer.Fire());
    EXPECT_EQ(player.selectedLine(), 1);
    ASSERT_TRUE(lineTimer.Fire()); // past the last line: the script has ended
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(link.calls, QStringList({U("open"), U("close")}));
    EXPECT_GE(op.processEventsCalls, 1);
    EXPECT_FALSE(lineTimer.IsActive());
    EXPECT_EQ(player.selectedEntry(), c.entryAfter);
    EXPECT_EQ(nextTimer.IsActive(), c.nextFileStarts);
    if (c.nextFileStarts) {
        EXPECT_EQ(nextTimer.interval, 2000);
        ASSERT_TRUE(nextTimer.Fire());
        EXPECT_FALSE(nextTimer.IsActive());
        EXPECT_EQ(player.state(), PlayerState::Playing);
        EXPECT_EQ(document.document().path, playlist.entries()[c.entryAfter]);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PlayModes,
                         ::testing::Values(ModeCase{0, 1, 1, false}, ModeCase{0, 2, 2, false},
                                           ModeCase{-1, 1, 1, false}, ModeCase{1, 1, 1, true},
                                           ModeCase{1, 2, 2, true}, ModeCase{2, 1, 2, true},
                                           ModeCase{2, 2, 2, false}, ModeCase{3, 1, 2, true},
                                           ModeCase{3, 2, 0, true}));

TEST_F(PlayerTest, UntimedPlayWithoutAutoCaptionEndsAtTheNextHeartbeat) {
    settings.Play.AutoPlayLoopMode = 0;
    add(script(U("a.txt"), 3));
    player.PlayFromStart();
    EXPECT_EQ(player.state(), PlayerState::Playing);
    EXPECT_FALSE(lineTimer.IsActive());
    beat();
    EXPECT_EQ(player.state(), PlayerState::Ready);
}

class LyricPlay : public PlayerTest {
protected:
    void load(const char* lyric, double trackSeconds) {
        const QString lrc = file(U("song.lrc"), U(lyric));
        engine.lengths[dir.file(U("song.mp3"))] = trackSeconds;
        file(U("song.mp3"));
        settings.Play.AutoPlayCaption = true;
        add(lrc);
        player.PlayFromStart();
        ASSERT_EQ(player.state(), PlayerState::Playing);
    }
};

TEST_F(LyricPlay, TrackEndingBeforeTheLastTimedLineStaysPlaying) {
    load("[00:05.00]五\r\n[00:10.00]十\r\n", 3.0);
    beat(40);
    EXPECT_EQ(engine.Activity(engine.current()), ChannelActivity::Stopped);
    EXPECT_EQ(player.state(), PlayerState::Playing);
    EXPECT_EQ(player.timeIndex(), 0);
    EXPECT_EQ(player.selectedLine(), -1);
    player.Stop();
    EXPECT_EQ(player.state(), PlayerState::Ready);
}

TEST_F(LyricPlay, LinesFollowTheTrackAndTheFileEndsAtTheLastLine) {
    settings.Play.AutoPlayLoopMode = 0;
    load("[00:00.50]零\r\n[00:02.00]二\r\n[00:03]三\r\n", 4.0);
    EXPECT_EQ(player.timeTable(), (std::vector<TimedLine>{{500, 0}, {2000, 1}, {3000, 2}}));
    beat(4);
    EXPECT_EQ(player.selectedLine(), -1);
    beat(); // 0.5 s: the hundredths of the tag count
    EXPECT_EQ(selectedText(), U("零"));
    beat(14);
    EXPECT_EQ(selectedText(), U("零"));
    beat();
    EXPECT_EQ(selectedText(), U("二"));
    beat(10);
    EXPECT_EQ(selectedText(), U("三"));
    EXPECT_EQ(player.progress(), 75);
    EXPECT_EQ(screens.rows.size(), 3); // every line sent once, when it became due
    beat(10);
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_EQ(player.progress(), 0);
}

TEST_F(LyricPlay, StampsAllAtZeroMeanAnUntimedScript) {
    settings.Play.AutoPlayTimeText = 2;
    load("[00:00.00]a\r\n[00:00]b\r\n[00:00.00]c\r\n", 60.0);
    EXPECT_EQ(player.timeTable(), (std::vector<TimedLine>{{0, 0}, {20000, 1}, {40000, 2}}));
    beat(1);
    EXPECT_EQ(selectedText(), U("a"));
    beat(199);
    EXPECT_EQ(selectedText(), U("b"));
}

TEST_F(LyricPlay, SeekingBackKeepsTheLineAndSeekingForwardJumps) {
    load("[00:01]1\r\n[00:02]2\r\n[00:03]3\r\n[00:04]4\r\n[00:05]5\r\n[00:06]untimed end\r\n",
         10.0);
    beat(30);
    EXPECT_EQ(selectedText(), U("3"));
    player.SeekTo(5, 100); // 0.5 s
    beat(10);
    EXPECT_EQ(selectedText(), U("3")); // earlier lines do not come back
    EXPECT_EQ(player.timeIndex(), 2);
    player.SeekTo(83, 100); // 8.3 s, past every timed line
    beat();
    EXPECT_EQ(selectedText(), U("untimed end"));
    EXPECT_EQ(player.timeIndex(), 5);
}

TEST_F(LyricPlay, LastLineIsTakenEvenWhenItsSecondIsSkipped) {
    load("[00:01]1\r\n[00:02]2\r\n", 10.0);
    beat(10);
    EXPECT_EQ(selectedText(), U("1"));
    player.SeekTo(50, 100);
    beat();
    EXPECT_EQ(selectedText(), U("2"));
}

TEST_F(LyricPlay, PauseAndContinueTheTrack) {
    load("[00:01]1\r\n[00:02]2\r\n", 10.0);
    beat(5);
    player.Pause();
    EXPECT_EQ(player.state(), PlayerState::Paused);
    EXPECT_EQ(engine.Activity(engine.current()), ChannelActivity::Paused);
    beat(20);
    EXPECT_EQ(player.selectedLine(), -1);
    EXPECT_TRUE(player.HandleKey(PlayerKey::F2) == false);
    EXPECT_EQ(player.state(), PlayerState::Playing);
    beat(6);
    EXPECT_EQ(selectedText(), U("1"));
}

class Stepping : public PlayerTest {
protected:
    void open(int lines, int jump) {
        settings.StoredSettings.Text.Jump = jump;
        add(script(U("s.txt"), lines));
    }
};

TEST_F(Stepping, JumpTwoAtTheSecondToLastLineDoesNotMove) {
    open(4, 2);
    player.SelectLine(2);
    EXPECT_TRUE(player.HandleKey(PlayerKey::PageDown));
    EXPECT_EQ(player.selectedLine(), 2);
    player.SelectLine(1);
    player.HandleKey(PlayerKey::PageDown);
    EXPECT_EQ(player.selectedLine(), 3);
    player.HandleKey(PlayerKey::PageUp);
    EXPECT_EQ(player.selectedLine(), 1);
    player.HandleKey(PlayerKey::PageUp);
    EXPECT_EQ(player.selectedLine(), 1);
}

TEST_F(Stepping, ScrollingKeepsLinesAroundTheSelectionVisible) {
    open(20, 1);
    player.SelectLine(0);
    player.StepLines(+1);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{1, 9}));
    player.SelectLine(15);
    player.StepLines(+1);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{16, 16}));
    player.StepLines(-1);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{15, 8}));
    player.SelectLine(8);
    player.StepLines(-1);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{7, 7}));
}

TEST_F(Stepping, TheFirstStepOfAShowSelectsTheFirstLineFromAKeyOrAButton) {
    open(3, 1);
    for (PlayerKey key : {PlayerKey::PageDown, PlayerKey::PageUp}) {
        player.ForgetLineSelection();
        EXPECT_TRUE(player.HandleKey(key));
        EXPECT_EQ(player.selectedLine(), 0);
        EXPECT_EQ(screens.rows.last(),
                  (std::pair<QString, QString>{U("s.txt 第0行"), U("s.txt 第1行")}));
    }
    player.ForgetLineSelection();
    player.StepByKey(+1);
    EXPECT_EQ(player.selectedLine(), 0);
    player.ForgetLineSelection();
    player.ManualNext();
    EXPECT_EQ(player.selectedLine(), 0);
    player.ManualNext();
    EXPECT_EQ(player.selectedLine(), 1);
    player.ManualPrevious();
    EXPECT_EQ(player.selectedLine(), 0);
    EXPECT_EQ(screens.rows.last(),
              (std::pair<QString, QString>{U("s.txt 第0行"), U("s.txt 第1行")}));
    player.SelectLine(2);
    EXPECT_EQ(screens.rows.last(), (std::pair<QString, QString>{U("s.txt 第2行"), QString()}));
    const qsizetype renders = screens.rows.size();
    player.SelectLine(2);
    EXPECT_EQ(screens.rows.size(), renders);
}

TEST_F(Stepping, StatusLineTellsWhetherTheLinkIsOpen) {
    open(3, 1);
    player.SelectLine(0);
    EXPECT_EQ(op.lastStatus(), U("未连接屏幕，请先点连接按钮。"));
    player.ToggleLink();
    EXPECT_TRUE(link.open);
    player.SelectLine(1);
    EXPECT_EQ(op.lastStatus(), U("【字幕】 s.txt 第1行"));
    player.ToggleLink();
    EXPECT_FALSE(link.open);
}

TEST_F(PlayerTest, F1WaitsForTheDialogToClose) {
    add(script(U("a.txt"), 2));
    player.setDialogBusy(true);
    player.HandleKey(PlayerKey::F1);
    EXPECT_EQ(player.state(), PlayerState::Ready);
    player.setDialogBusy(false);
    player.HandleKey(PlayerKey::F1);
    EXPECT_EQ(player.state(), PlayerState::Playing);
    player.HandleKey(PlayerKey::F3);
    EXPECT_EQ(player.state(), PlayerState::Paused);
    player.HandleKey(PlayerKey::F2);
    EXPECT_EQ(player.state(), PlayerState::Playing);
}

TEST_F(PlayerTest, TabMovesToTheNextEntryAndPlaysIt) {
    settings.Play.AutoPlayCaption = true;
    add(script(U("a.txt"), 3));
    add(script(U("b.txt"), 3));
    EXPECT_FALSE(player.HandleKey(PlayerKey::Tab)); // not while ready
    player.PlayFromStart();
    lineTimer.Fire();
    EXPECT_TRUE(player.HandleKey(PlayerKey::Tab));
    EXPECT_EQ(player.selectedEntry(), 0); // wrapped past the last entry
    EXPECT_EQ(player.state(), PlayerState::Playing);
    EXPECT_EQ(player.selectedLine(), 0);
    EXPECT_GE(op.processEventsCalls, 1);
    EXPECT_TRUE(player.HandleKey(PlayerKey::Tab));
    EXPECT_EQ(player.selectedEntry(), 1);
    EXPECT_EQ(document.document().path, playlist.entries()[1]);
}

TEST_F(PlayerTest, ButtonsByState) {
    EXPECT_EQ(player.buttons(), PlayerButtons({false, false, false, false, true, false}));
    add(script(U("a.txt"), 2));
    EXPECT_EQ(player.buttons(), PlayerButtons({true, false, false, false, true, true}));
    player.PlayFromStart();
    EXPECT_EQ(player.buttons(), PlayerButtons({false, false, true, true, false, false}));
    player.Pause();
    EXPECT_EQ(player.buttons(), PlayerButtons({true, true, false, true, false, false}));
    player.Stop();
    link.open = true;
    EXPECT_EQ(player.buttons(), PlayerButtons({true, false, false, false, false, true}));
}

TEST_F(PlayerTest, HeartbeatDrawsTheMeters) {
    file(U("song.mp3"));
    add(dir.file(U("song.mp3")));
    player.PlayFromStart();
    beat(12);
    EXPECT_EQ(view.meterUpdates, 12);
    EXPECT_EQ(player.volume().leftBar() > 0 || player.volume().rightBar() > 0, true);
}

// The frames that reach the link for each selected line, through the real renderer.
class RenderingScreens final : public ScreenPort {
public:
    explicit RenderingScreens(TextRenderer& renderer) : m_renderer(renderer) {}
    void RenderRows(const QString& row1, const QString& row2) override {
        for (ScreenId id : kAllScreens) {
            m_renderer.RenderSubtitle(id, row1, row2);
        }
    }

private:
    TextRenderer& m_renderer;
};

class FrameRecorder final : public FrameSink {
public:
    QList<std::pair<ScreenId, QImage>> frames;
    QImage pending[3];
    void LoadScreenBitmap(ScreenId screen, const QImage& frame, const FrameEffect&) override {
        pending[ScreenIndex(screen)] = frame;
    }
    void RequestFrame(ScreenId screen) override {
        frames.append({screen, pending[ScreenIndex(screen)]});
    }
};

TEST(PlayerFrames, EachSelectedLineReachesTheScreensWithTheNextOne) {
    TempDir dir;
    SettingsStore settings;
    TSettings& stored = settings.StoredSettings;
    stored.screen(ScreenId::h).ScreenKind = true;
    stored.effect(ScreenId::h).Row = 2; // double row: the next line is row 2
    stored.effect(ScreenId::h).AutoSize = 2;
    stored.screen(ScreenId::x).ScreenKind = true;
    DocumentSession document(settings);
    Playlist playlist;
    FakeAudioEngine engine;
    ScriptedOperator op;
    RecordingLink link;
    RecordingView view;
    ManualTimer heartbeat, lineTimer, nextTimer;
    QtRasteriser rasteriser;
    TextRenderer renderer(settings.ActiveSettings, rasteriser);
    FrameRecorder recorder;
    renderer.SetFrameSink(&recorder);
    RenderingScreens screens(renderer);
    PlaybackController player({settings, document, playlist, engine, op, link, screens, view,
                               heartbeat, lineTimer, nextTimer});

    op.openAnswers = {dir.write(U("s.txt"), EncodeGbk(U("第一行\r\n第二行\r\n第三行\r\n")))};
    player.AddEntry();
    ASSERT_EQ(player.state(), PlayerState::Ready);

    // What each screen should show, rendered independently.
    TextRenderer reference(settings.ActiveSettings, rasteriser);
    FrameRecorder expected;
    reference.SetFrameSink(&expected);
    const QStringList lines = {U("第一行"), U("第二行"), U("第三行"), QString()};
    for (int i : {0, 1, 2}) {
        player.SelectLine(i);
        for (ScreenId id : {ScreenId::h, ScreenId::x}) {
            reference.RenderSubtitle(id, lines[i], lines[i + 1]);
        }
    }
    ASSERT_EQ(recorder.frames.size(), 6); // h and x per line; s is not in use
    ASSERT_EQ(expected.frames.size(), 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(recorder.frames[k].first, expected.frames[k].first) << k;
        EXPECT_EQ(recorder.frames[k].second, expected.frames[k].second) << k;
    }
    // Row 2 matters on the double-row screen only.
    EXPECT_NE(recorder.frames[0].second, recorder.frames[4].second);
    TextRenderer single(settings.ActiveSettings, rasteriser);
    FrameRecorder alone;
    single.SetFrameSink(&alone);
    single.RenderSubtitle(ScreenId::h, lines[0], QString());
    EXPECT_NE(alone.frames[0].second, recorder.frames[0].second);
}

} // namespace

namespace {

// What reached the screens, row 1 only, in order.
QStringList ShownRows(const QList<std::pair<QString, QString>>& rows) {
    QStringList shown;
    for (const auto& row : rows) {
        shown << row.first;
    }
    return shown;
}

} // namespace

TEST_F(LyricPlay, UntimedLinesAndNegativeStampsDoNotHoldTheSong) {
    settings.Play.AutoPlayLoopMode = 1;
    load("本歌词来自某网站\r\n[00:-03.00]零\r\n[00:01.00]一\r\n广告：欢迎光临\r\n", 2.0);
    EXPECT_EQ(player.timeTable(), (std::vector<TimedLine>{{0, 1}, {1000, 2}}));
    beat();
    EXPECT_EQ(selectedText(), U("零"));
    beat(10);
    EXPECT_EQ(selectedText(), U("一"));
    beat(10); // the track ends with no timed line still due: the file ends
    EXPECT_EQ(player.state(), PlayerState::Ready);
    EXPECT_TRUE(nextTimer.IsActive());
    EXPECT_EQ(ShownRows(screens.rows), QStringList({U("零"), U("一")}));
}

TEST_F(LyricPlay, EveryStampOffsetAndOrderOfTheFileCount) {
    // Due after the offset: 副歌 at 0.5 s and 1.5 s, 中 at 1.0 s.
    load("[offset:+500]\r\n[00:02.00][00:01.00]<00:01.00>副<00:01.20>歌\r\n[00:01.50]中\r\n", 3.0);
    EXPECT_EQ(player.timeTable(), (std::vector<TimedLine>{{500, 0}, {1000, 1}, {1500, 0}}));
    beat(20);
    EXPECT_EQ(ShownRows(screens.rows), QStringList({U("副歌"), U("中"), U("副歌")}));
}

TEST_F(LyricPlay, DenseLinesShowTheLastDueOneAtEachHeartbeat) {
    load("[00:01.01]a\r\n[00:01.03]b\r\n[00:01.06]c\r\n[00:01.20]d\r\n[00:01.25]e\r\n", 5.0);
    beat(11); // 1.1 s: a, b and c became due since the last heartbeat
    EXPECT_EQ(selectedText(), U("c"));
    beat(); // 1.2 s
    EXPECT_EQ(selectedText(), U("d"));
    beat(); // 1.3 s
    EXPECT_EQ(ShownRows(screens.rows), QStringList({U("c"), U("d"), U("e")}));
}

TEST_F(PlayerTest, LineTimerIntervalHasAFloor) {
    settings.Play.AutoPlayCaption = true;
    settings.Play.AutoPlayTimeText = 0;
    add(script(U("a.txt"), 3));
    player.PlayFromStart();
    EXPECT_EQ(lineTimer.interval, PlaybackController::kMinLineIntervalMs);
    player.Stop();
    settings.Play.AutoPlayTimeText = 3;
    player.PlayFromStart();
    EXPECT_EQ(lineTimer.interval, 300);
}

TEST_F(PlayerTest, ForgottenSelectionRendersTheSameLineAgain) {
    add(script(U("a.txt"), 3));
    player.SelectLine(1);
    const qsizetype renders = screens.rows.size();
    player.ForgetLineSelection();
    EXPECT_EQ(player.selectedLine(), -1);
    EXPECT_EQ(view.lineSelections.last(), (std::pair<qsizetype, qsizetype>{-1, -1}));
    player.SelectLine(1);
    EXPECT_EQ(screens.rows.size(), renders + 1);
}

// Coming back after the station ended without closing: the entry is open
// and ready, and the track goes on (or stands) where the show is by now.
class Resuming : public LyricPlay, public ::testing::WithParamInterface<bool> {};

TEST_P(Resuming, PlaysOnOrStandsAtThePositionWithTheLineDueThere) {
    const bool playing = GetParam();
    load("[00:01]一\r\n[00:02]二\r\n[00:09]九\r\n", 10.0);
    player.Stop();
    ASSERT_EQ(player.state(), PlayerState::Ready);
    screens.rows.clear();

    player.ResumeAt(2500, playing);
    EXPECT_EQ(player.state(), playing ? PlayerState::Playing : PlayerState::Paused);
    EXPECT_EQ(player.PositionMs(), 2500);
    EXPECT_EQ(selectedText(), U("二"));
    EXPECT_EQ(screens.rows.size(), 1);
    EXPECT_EQ(engine.Activity(engine.current()),
              playing ? ChannelActivity::Playing : ChannelActivity::Stopped);
    if (!playing) {
        beat(10);
        EXPECT_EQ(player.PositionMs(), 2500) << "paused means standing still";
        // F2 plays on from there, though the track never played here.
        player.HandleKey(PlayerKey::F2);
        EXPECT_EQ(player.state(), PlayerState::Playing);
    }
    beat(66);
    EXPECT_EQ(selectedText(), U("九"));

    // Only from ready: while the show plays it changes nothing.
    player.Stop();
    player.PlayFromStart();
    player.ResumeAt(8000, true);
    EXPECT_LT(player.PositionMs(), 1000);
}
INSTANTIATE_TEST_SUITE_P(PlayerTest, Resuming, ::testing::Bool());

TEST_F(PlayerTest, ResumingAnUntimedScriptStepsOnFromItsLine) {
    settings.Play.AutoPlayCaption = true;
    settings.Play.AutoPlayTimeText = 5;
    add(script(U("a.txt"), 6));
    player.SelectLine(3);
    player.ResumeAt(0, true);
    EXPECT_EQ(player.state(), PlayerState::Playing);
    ASSERT_TRUE(lineTimer.Fire());
    EXPECT_EQ(player.selectedLine(), 4);

    player.Stop();
    player.SelectLine(1);
    player.ResumeAt(0, false);
    EXPECT_EQ(player.state(), PlayerState::Paused);
    EXPECT_FALSE(lineTimer.IsActive());
    player.Continue();
    ASSERT_TRUE(lineTimer.Fire());
    EXPECT_EQ(player.selectedLine(), 2);
}
