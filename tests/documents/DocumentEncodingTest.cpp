#include "documents/DocumentSession.h"
#include "documents/Playlist.h"

#include "core/TextFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(DocumentEncoding, UnmarkedUtf8ScriptsReadWholeAndSaveBackUnchanged) {
    TempDir dir;
    const QString text = dir.write(QStringLiteral("a.txt"), U("第一幕\n夜の歌\n").toUtf8());
    const QString lyric = dir.write(QStringLiteral("b.lrc"),
                                    U("[ti:歌]\n[00:01.00]사랑\n[00:02.00]第二句\n").toUtf8());
    SettingsStore settings;
    DocumentSession session{settings};

    ASSERT_TRUE(session.Load(text));
    EXPECT_EQ(session.document().lines, QStringList({U("第一幕"), U("夜の歌")}));
    EXPECT_EQ(session.document().encoding, TextEncoding::Utf8);
    ASSERT_TRUE(session.Save());
    EXPECT_EQ(TempDir::read(text), U("第一幕\r\n夜の歌\r\n").toUtf8());

    ASSERT_TRUE(session.Load(lyric));
    EXPECT_EQ(session.document().lines, QStringList({U("[00:01.00]사랑"), U("[00:02.00]第二句")}));
    ASSERT_EQ(session.lines().size(), 2);
    EXPECT_EQ(session.lines()[0].Text, U("사랑"));
}

TEST(DocumentEncoding, GbkScriptsAndProjectsRoundTripByteForByte) {
    TempDir dir;
    SettingsStore settings;
    settings.StoredSettings.Text.AutoPara = 1;
    DocumentSession session{settings};
    const QByteArray script = EncodeGbk(U("第一幕\r\n\r\n  台词 two €\r\n"));
    const QString path = dir.write(QStringLiteral("s.txt"), script);
    ASSERT_TRUE(session.Load(path));
    const IoStatus saved = session.Save();
    ASSERT_TRUE(saved);
    EXPECT_TRUE(saved.message.isEmpty());
    EXPECT_EQ(TempDir::read(path), script);

    const QString project = dir.file(QStringLiteral("p.lpf"));
    session.SetLines({U("项目第一行"), U("[Content]")});
    ASSERT_TRUE(session.SaveProject(project));
    const QByteArray written = TempDir::read(project);
    ASSERT_TRUE(session.Load(project));
    EXPECT_EQ(session.document().encoding, TextEncoding::Gbk);
    ASSERT_TRUE(session.Save());
    EXPECT_EQ(TempDir::read(project), written);
}

TEST(DocumentEncoding, TextGbkCannotHoldIsSavedAsUtf8AndTheOperatorTold) {
    TempDir dir;
    const QString path = dir.write(QStringLiteral("k.txt"), EncodeGbk(U("中文\r\n")));
    SettingsStore settings;
    DocumentSession session{settings};
    ASSERT_TRUE(session.Load(path));
    session.SetLines({U("中文"), U("사랑해요")});

    ScriptedOperator op;
    op.yesNoAnswers.push_back(true);
    session.ResolveChangesOnLeave(op);
    EXPECT_TRUE(op.texts(QStringLiteral("error")).isEmpty());
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList({U("文件中有GBK编码无法保存的字符，已改用UTF-8编码保存：") + path}));
    EXPECT_FALSE(session.document().modified);
    EXPECT_FALSE(TempDir::read(path).contains('?'));

    // Read again it is the same text, and a later save says nothing more.
    ASSERT_TRUE(session.Load(path));
    EXPECT_EQ(session.document().lines, QStringList({U("中文"), U("사랑해요")}));
    EXPECT_EQ(session.document().encoding, TextEncoding::Utf8Bom);
    const IoStatus again = session.Save();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again.message.isEmpty());
}

TEST(DocumentEncoding, PlaylistEntryNamedInKoreanIsFoundAgain) {
    TempDir dir;
    const QString korean = dir.write(QStringLiteral("노래.txt"), QByteArray("a\r\n"));
    const QString chinese = dir.write(QStringLiteral("歌曲.txt"), QByteArray("a\r\n"));
    Playlist list;
    ASSERT_TRUE(list.Append(chinese));
    ASSERT_TRUE(list.Append(korean));
    const QString lft = dir.file(QStringLiteral("list.lft"));
    const IoStatus status = list.WriteTo(lft);
    ASSERT_TRUE(status);
    EXPECT_FALSE(status.message.isEmpty());
    EXPECT_FALSE(TempDir::read(lft).contains('?'));

    Playlist reopened;
    ASSERT_TRUE(reopened.Open(lft, false));
    EXPECT_EQ(reopened.entries(), QStringList({chinese, korean}));
}

TEST(DocumentEncoding, GbkPlaylistStaysGbkByteForByte) {
    TempDir dir;
    const QString song = dir.write(QStringLiteral("模.txt"), QByteArray("a\r\n"));
    const QString lft = dir.write(QStringLiteral("l.lft"), EncodeGbk(song + U("\r\n")));
    Playlist list;
    ASSERT_TRUE(list.Open(lft, false));
    EXPECT_EQ(list.entries(), QStringList({song}));
    ASSERT_TRUE(list.WriteTo(lft));
    EXPECT_EQ(TempDir::read(lft), EncodeGbk(song + U("\r\n")));
}

} // namespace
