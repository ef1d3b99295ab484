// The journal's file format and its writing thread.
#include "show/ShowJournal.h"

#include "support/TempDir.h"

#include <QDir>

namespace {

ShowState FullState() {
    ShowState s;
    s.playlistPath = QStringLiteral("/演出/今晚.lft");
    s.entries = {QStringLiteral("/演出/开场.txt"), QStringLiteral("/演出/歌.lrc")};
    s.entry = 1;
    s.entryPath = (*s.entries)[1];
    s.line = 12;
    s.lineText = QStringLiteral("第十三句");
    s.linkOpen = true;
    s.brightness = 9;
    s.player = PlayerState::Paused;
    s.positionMs = 65432;
    s.takenAtMs = 1700000000123;
    s.screens = ScreenContent::TempText;
    s.temp = {QStringLiteral("中场休息"), QStringLiteral("十五分钟"), 2};
    s.cleanExit = true;
    s.editsKeptAt = QStringLiteral("/演出/开场.未保存.txt");
    return s;
}

} // namespace

TEST(ShowJournalFormat, EveryFieldComesBackAndAnythingElseIsNoJournal) {
    const ShowState full = FullState();
    const std::optional<ShowState> back = ShowStateFromJson(ShowStateToJson(full));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->SameShow(full));
    ShowState saved = full;
    saved.entries.reset(); // the list's file holds them
    EXPECT_EQ(ShowStateFromJson(ShowStateToJson(saved))->entries, std::nullopt);
    saved.entries = QStringList(); // every entry removed, not saved
    EXPECT_EQ(ShowStateFromJson(ShowStateToJson(saved))->entries, QStringList());
    EXPECT_EQ(back->takenAtMs, full.takenAtMs);
    EXPECT_EQ(back->positionMs, full.positionMs);

    const ScriptCopy copy{QStringLiteral("/演出/歌.lrc"), {QStringLiteral("[00:01.00]一"), {}}};
    EXPECT_EQ(ScriptCopyFromJson(ScriptCopyToJson(copy)), copy);

    const QByteArray whole = ShowStateToJson(full);
    QByteArray newer = whole;
    newer.replace("\"version\": 1", "\"version\": 2");
    for (const QByteArray& bytes :
         {QByteArray(), whole.left(whole.size() / 2), QByteArray("not json"), newer,
          ScriptCopyToJson(copy), QByteArray("{\"kind\": \"station-show-journal\"}")}) {
        EXPECT_FALSE(ShowStateFromJson(bytes).has_value()) << bytes.left(60).data();
    }
    EXPECT_FALSE(ScriptCopyFromJson(whole).has_value());
}

TEST(ShowJournalFormat, OnlyAPausedPositionMakesADifferentShow) {
    ShowState a = FullState();
    ShowState b = a;
    b.takenAtMs += 5000;
    EXPECT_TRUE(a.SameShow(b));
    b.positionMs += 1;
    EXPECT_FALSE(a.SameShow(b)) << "paused: the position is where the show stands";
    a.player = b.player = PlayerState::Playing;
    EXPECT_TRUE(a.SameShow(b)) << "playing: the position moves by itself";
    b.line = 13;
    EXPECT_FALSE(a.SameShow(b));
}

TEST(ShowJournalWriter, TheLatestStateAndCopyReachTheDisk) {
    TempDir dir;
    const QString data = dir.file(QStringLiteral("data"));
    const QString journalPath = QDir(data).filePath(QStringLiteral("show-state.json"));
    const QString copyPath = QDir(data).filePath(QStringLiteral("unsaved-script.json"));
    {
        ShowJournal journal(journalPath, copyPath);
        ShowState state = FullState();
        for (int line = 0; line < 500; ++line) {
            state.line = line;
            journal.Record(state);
        }
        journal.RecordCopy(ScriptCopy{QStringLiteral("/a.txt"), {QStringLiteral("x")}});
        ASSERT_TRUE(journal.WaitWritten(std::chrono::seconds(30)));
        const std::optional<ShowState> read = ShowJournal::ReadJournal(journalPath);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->line, 499);
        EXPECT_TRUE(ShowJournal::ReadCopy(copyPath).has_value());

        journal.RecordCopy(std::nullopt);
        state.line = 1000;
        journal.Record(state);
        // Written on the caller's thread: on the disk when it returns.
        journal.WriteNow();
        EXPECT_FALSE(QFileInfo::exists(copyPath));
        EXPECT_EQ(ShowJournal::ReadJournal(journalPath)->line, 1000);
        EXPECT_EQ(journal.TakeFailure(), std::nullopt);

        // What is recorded last before the end is written by the end.
        state.line = 1001;
        journal.Record(state);
    }
    EXPECT_EQ(ShowJournal::ReadJournal(journalPath)->line, 1001);
    EXPECT_EQ(QDir(data).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("show-state.json")});
}

TEST(ShowJournalWriter, AJournalThatCannotBeWrittenIsReportedOnce) {
    TempDir dir;
    // The data directory's place is taken by a file.
    const QString blocker = dir.write(QStringLiteral("data"), "a file");
    ShowJournal journal(blocker + QStringLiteral("/show-state.json"),
                        blocker + QStringLiteral("/unsaved-script.json"));
    journal.Record(FullState());
    ASSERT_TRUE(journal.WaitWritten(std::chrono::seconds(30)));
    const std::optional<QString> failure = journal.TakeFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->contains(QStringLiteral("data")));
    EXPECT_EQ(journal.TakeFailure(), std::nullopt);
}
