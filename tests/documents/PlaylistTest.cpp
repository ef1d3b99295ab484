#include "documents/Playlist.h"

#include "core/TextFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class PlaylistTest : public ::testing::Test {
protected:
    TempDir dir;
    Playlist list;
    ScriptedOperator op;

    QString touch(const char* name) { return dir.write(QString::fromUtf8(name), "x"); }
};

TEST_F(PlaylistTest, TypesAndPartners) {
    EXPECT_EQ(EntryTypeOf(U("/a/b.LPF")), EntryType::Project);
    EXPECT_EQ(EntryTypeOf(U("b.Mp3")), EntryType::Mp3);
    EXPECT_EQ(EntryTypeOf(U("b.lrc")), EntryType::Lyric);
    EXPECT_EQ(EntryTypeOf(U("b.TXT")), EntryType::PlainText);
    EXPECT_EQ(EntryTypeOf(U("b.SRT")), EntryType::Surtitle);
    EXPECT_EQ(EntryTypeOf(U("b.ass")), EntryType::Surtitle);
    EXPECT_EQ(EntryTypeOf(U("b.Ssa")), EntryType::Surtitle);
    EXPECT_EQ(EntryTypeOf(U("b.wav")), EntryType::Unsupported);
    EXPECT_EQ(EntryTypeOf(U("lrc")), EntryType::Unsupported);
    EXPECT_EQ(PartnerPath(U("/s/歌.MP3")), U("/s/歌.lrc"));
    EXPECT_EQ(PartnerPath(U("/s/歌.lrc")), U("/s/歌.mp3"));
    EXPECT_EQ(PartnerPath(U("/s/歌.txt")), U(""));
    EXPECT_EQ(PartnerPath(U("/s/第一幕.srt")), U("/s/第一幕.mp3"));
    EXPECT_EQ(PartnerPath(U("/s/第一幕.ASS")), U("/s/第一幕.mp3"));
}

TEST_F(PlaylistTest, RowIconsAndMarkersAreDecidedWhenAdded) {
    const QString mp3 = touch("song.mp3");
    const QString lrc = touch("song.lrc");
    const QString lonelyLrc = touch("other.lrc");
    const QString lonelyMp3 = touch("tune.mp3");
    EXPECT_EQ(MakePlaylistRow(mp3), PlaylistRow({U("song.mp3"), 1, 3, 4}));
    EXPECT_EQ(MakePlaylistRow(lrc), PlaylistRow({U("song.lrc"), 2, 3, 4}));
    EXPECT_EQ(MakePlaylistRow(lonelyLrc), PlaylistRow({U("other.lrc"), 2, 3, kNoMarker}));
    EXPECT_EQ(MakePlaylistRow(lonelyMp3), PlaylistRow({U("tune.mp3"), 1, kNoMarker, 4}));
    EXPECT_EQ(MakePlaylistRow(dir.file(U("s.lpf"))), PlaylistRow({U("s.lpf"), 0, 3, kNoMarker}));
    EXPECT_EQ(MakePlaylistRow(dir.file(U("s.txt"))), PlaylistRow({U("s.txt"), 5, 3, kNoMarker}));
    EXPECT_EQ(MakePlaylistRow(touch("song.srt")), PlaylistRow({U("song.srt"), 6, 3, 4}));
    EXPECT_EQ(MakePlaylistRow(touch("act.ass")), PlaylistRow({U("act.ass"), 6, 3, kNoMarker}));

    ASSERT_TRUE(list.Append(lonelyMp3));
    touch("tune.lrc");
    EXPECT_EQ(list.rows().first().firstMarker, kNoMarker); // not updated later
    EXPECT_TRUE(list.changed());
    EXPECT_FALSE(list.Append(dir.file(U("clip.wav"))));
    EXPECT_EQ(list.count(), 1);
}

TEST_F(PlaylistTest, OpeningSkipsBlankMissingAndForeignLines) {
    const QString a = touch("一.txt");
    const QString b = touch("b.lrc");
    const QString wav = touch("c.wav");
    const QByteArray text = EncodeGbk(U("  ") + a + U(" \t\r\n\r\n") + dir.file(U("gone.txt")) +
                                      U("\r\n") + wav + U("\n") + b + U("\r\n"));
    const QString lft = dir.write(U("show.lft"), text);
    list.Append(a); // an old, changed list is replaced
    ASSERT_TRUE(list.Open(lft, true));
    EXPECT_EQ(list.entries(), QStringList({a, b}));
    EXPECT_EQ(list.path(), lft);
    EXPECT_FALSE(list.changed());

    // The start-up restore reads the lines untrimmed, so the padded one is lost.
    ASSERT_TRUE(list.Open(lft, false));
    EXPECT_EQ(list.entries(), QStringList({b}));

    EXPECT_FALSE(list.Open(dir.file(U("none.lft")), true));
}

TEST_F(PlaylistTest, SubtitleFilesAreKeptByTheListFile) {
    const QString srt = touch("第一幕.srt");
    const QString ass = touch("第二幕.ASS");
    ASSERT_TRUE(list.Append(srt));
    ASSERT_TRUE(list.Append(ass));
    const QString lft = dir.file(U("show.lft"));
    ASSERT_TRUE(list.WriteTo(lft));
    Playlist opened;
    ASSERT_TRUE(opened.Open(lft, true));
    EXPECT_EQ(opened.entries(), QStringList({srt, ass}));
    EXPECT_TRUE(PlaylistFilters::kEntries.contains(U("*.srt;*.ass;*.ssa")));
}

TEST_F(PlaylistTest, SavingAddsTheExtensionUnlessPresent) {
    list.Append(touch("a.txt"));
    op.yesNoAnswers = {true};
    op.saveAnswers = {dir.file(U("show"))};
    EXPECT_TRUE(list.SaveIfChanged(op, PlaylistFilters::kPlaylistOrAll));
    EXPECT_EQ(list.path(), dir.file(U("show.lft")));
    EXPECT_EQ(TempDir::read(dir.file(U("show.lft"))), EncodeGbk(dir.file(U("a.txt")) + U("\r\n")));
    EXPECT_FALSE(list.changed());
    EXPECT_EQ(op.texts(U("ask")), QStringList({U("当前列表已经发生改变，是否保存？")}));
    EXPECT_EQ(op.texts(U("save")), QStringList({PlaylistFilters::kPlaylistOrAll}));

    op.saveAnswers = {dir.file(U("show.LFT"))};
    EXPECT_TRUE(list.SaveAs(op));
    EXPECT_EQ(list.path(), dir.file(U("show.LFT")));
    EXPECT_TRUE(QFileInfo::exists(dir.file(U("show.LFT"))));

    // With a file, saving writes without asking.
    list.Append(touch("b.txt"));
    list.Save(op);
    EXPECT_EQ(op.texts(U("save")).size(), 2);
    EXPECT_FALSE(list.changed());
}

TEST_F(PlaylistTest, SaveIfChangedAnswers) {
    EXPECT_TRUE(list.SaveIfChanged(op, PlaylistFilters::kPlaylistOnly)); // unchanged: no question
    EXPECT_TRUE(op.events.empty());

    list.Append(touch("a.txt"));
    op.yesNoAnswers = {false};
    EXPECT_TRUE(list.SaveIfChanged(op, PlaylistFilters::kPlaylistOnly));
    EXPECT_TRUE(list.changed());

    op.yesNoAnswers = {true};
    op.saveAnswers = {QString()};
    EXPECT_FALSE(list.SaveIfChanged(op, PlaylistFilters::kPlaylistOnly));
    EXPECT_TRUE(list.changed());
    EXPECT_TRUE(list.path().isEmpty());
}

TEST_F(PlaylistTest, WriteFailureNamesTheFileAndKeepsChanged) {
    list.Append(touch("a.txt"));
    const QString blocked = dir.file(U("blocked.lft"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    op.saveAnswers = {blocked};
    EXPECT_TRUE(list.SaveAs(op));
    ASSERT_EQ(op.texts(U("error")).size(), 1);
    EXPECT_TRUE(op.texts(U("error")).first().contains(U("blocked.lft")));
    EXPECT_TRUE(list.changed());
}

TEST_F(PlaylistTest, MovingKeepsChangedAndRemovingSetsIt) {
    const QString a = touch("a.txt");
    const QString b = touch("b.mp3");
    const QString c = touch("c.lpf");
    const QString lft =
        dir.write(U("l.lft"), EncodeGbk(a + U("\r\n") + b + U("\r\n") + c + U("\r\n")));
    ASSERT_TRUE(list.Open(lft, true));
    EXPECT_EQ(list.Move(0, -1), -1);
    EXPECT_EQ(list.Move(2, +1), -1);
    EXPECT_EQ(list.Move(0, +1), 1);
    EXPECT_EQ(list.entries(), QStringList({b, a, c}));
    EXPECT_EQ(list.rows()[0].name, U("b.mp3"));
    EXPECT_FALSE(list.changed());
    list.Remove(1);
    EXPECT_EQ(list.entries(), QStringList({b, c}));
    EXPECT_EQ(list.rows().size(), 2);
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(Playlist().displayName(), U("未命名.lft"));
}

} // namespace
