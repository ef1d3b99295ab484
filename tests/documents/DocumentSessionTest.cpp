#include "documents/DocumentSession.h"
#include "documents/LineBuilding.h"

#include "core/TextFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}
QString DataFile(const char* name) {
    return QStringLiteral(STATION_TEST_DATA_DIR "/documents/") + QString::fromUtf8(name);
}

enum class Encoding { Gbk, Utf8Bom, Utf16LeBom, Utf16BeBom };

QByteArray Encode(const QString& text, Encoding encoding) {
    switch (encoding) {
    case Encoding::Gbk:
        return EncodeGbk(text);
    case Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Encoding::Utf16LeBom:
    case Encoding::Utf16BeBom: {
        const bool le = encoding == Encoding::Utf16LeBom;
        QByteArray out = le ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
        for (QChar c : text) {
            const char lo = char(c.unicode() & 0xFF);
            const char hi = char(c.unicode() >> 8);
            out.append(le ? lo : hi).append(le ? hi : lo);
        }
        return out;
    }
    }
    return {};
}

class RecordingHooks : public DocumentViewHooks {
public:
    QList<DocumentKind> loaded;
    int emptyRows = 0;
    void DocumentLoaded(DocumentKind kind) override { loaded.append(kind); }
    void RenderEmptyRows() override { ++emptyRows; }
};

class DocumentSessionTest : public ::testing::TestWithParam<Encoding> {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession session{settings};
    RecordingHooks hooks;

    void SetUp() override { session.setViewHooks(&hooks); }
    QString write(const char* name, const char* utf8) {
        return dir.write(QString::fromUtf8(name), Encode(U(utf8), GetParam()));
    }
};

TEST_P(DocumentSessionTest, LyricFileGivesTaggedItems) {
    const QString path =
        write("song.lrc", "[ti:Song]\r\n\r\n[00:12.50]First\r\n[01:02]Second\r\nPlain\r\n");
    ASSERT_TRUE(session.LoadLyrics(path));
    EXPECT_EQ(session.document().kind, DocumentKind::Lyric);
    EXPECT_EQ(session.document().lines,
              QStringList({U("[00:12.50]First"), U("[01:02]Second"), U("Plain")}));
    const LineList expected = {{U("1"), U("First"), U("[00:12.50]")},
                               {U("2"), U("Second"), U("[01:02]")},
                               {U("3"), U("Plain"), U("")}};
    EXPECT_EQ(session.lines(), expected);
    EXPECT_EQ(hooks.loaded, QList<DocumentKind>({DocumentKind::Lyric}));
    EXPECT_EQ(hooks.emptyRows, 0);
}

TEST_P(DocumentSessionTest, PlainTextKeepsEveryLineAndSegments) {
    settings.StoredSettings.Text.AutoPara = 1;
    settings.StoredSettings.Text.ParaLen = 2;
    const QString path = write("script.txt", "一二三四五\n\n  a一二三\r");
    ASSERT_TRUE(session.LoadPlainText(path));
    EXPECT_EQ(session.document().lines, QStringList({U("一二三四五"), U(""), U("  a一二三")}));
    // The stored settings were applied, so the list is segmented.
    EXPECT_EQ(settings.ActiveSettings.Text.AutoPara, 1);
    QStringList texts;
    QStringList sources;
    for (const LineItem& item : session.lines()) {
        texts.append(item.Text);
        sources.append(item.Source);
    }
    EXPECT_EQ(texts,
              QStringList({U("一二"), U("三四"), U("五"), U(""), U("  a"), U("一二"), U("三")}));
    EXPECT_EQ(sources, QStringList({U("0"), U("0"), U("0"), U("1"), U("2"), U("2"), U("2")}));
}

TEST_P(DocumentSessionTest, ProjectRoundTripThroughFiles) {
    const QString path =
        write("show.lpf", "[ScreenParam]\r\nScreenKind1=1\r\nScreenStyle1=0\r\n"
                          "ScreenWidth1=320\r\n[FontEffect]\r\nColor1=3\r\nZjj1=True\r\n"
                          "Font1=黑体\r\n\r\n[Content]\r\n第一幕\r\n[Content]\r\n");
    settings.StoredSettings.screen(ScreenId::h).ScreenWidth = 128;
    ASSERT_TRUE(session.LoadProject(path));
    EXPECT_EQ(session.document().lines, QStringList({U("第一幕"), U("[Content]")}));
    const TSettings& active = settings.ActiveSettings;
    EXPECT_TRUE(active.screen(ScreenId::h).ScreenKind);
    EXPECT_EQ(active.screen(ScreenId::h).ScreenWidth, 320);
    EXPECT_EQ(active.effect(ScreenId::h).Color, 1); // colour rule on a single-colour screen
    EXPECT_TRUE(active.effect(ScreenId::h).Zjj);
    EXPECT_EQ(active.effect(ScreenId::h).Font, U("黑体"));
    EXPECT_EQ(settings.StoredSettings.screen(ScreenId::h).ScreenWidth, 128);
    EXPECT_EQ(hooks.emptyRows, 1);

    const QString copy = dir.file(QStringLiteral("copy.lpf"));
    ASSERT_TRUE(session.SaveProject(copy));
    const TSettings before = settings.ActiveSettings;
    settings.ActiveSettings = TSettings();
    ASSERT_TRUE(session.LoadProject(copy));
    EXPECT_EQ(settings.ActiveSettings.Text, before.Text);
    EXPECT_EQ(settings.ActiveSettings.Effect, before.Effect);
    EXPECT_EQ(settings.ActiveSettings.Screen, before.Screen);
    EXPECT_EQ(session.document().lines, QStringList({U("第一幕"), U("[Content]")}));
}

INSTANTIATE_TEST_SUITE_P(Encodings, DocumentSessionTest,
                         ::testing::Values(Encoding::Gbk, Encoding::Utf8Bom, Encoding::Utf16LeBom,
                                           Encoding::Utf16BeBom));

class DocumentSessionFiles : public ::testing::Test {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession session{settings};
    ScriptedOperator op;
};

TEST_F(DocumentSessionFiles, SavingALyricDropsItsHeaderTags) {
    ASSERT_TRUE(session.LoadLyrics(DataFile("song.lrc")));
    const QString out = dir.file(QStringLiteral("out.lrc"));
    ASSERT_TRUE(session.SaveLines(out));
    EXPECT_EQ(TempDir::read(out), EncodeGbk(U("[00:12.50]First\r\n[01:02]Second\r\nPlain\r\n"
                                              "[02:00.00]第三句 [03:00]更多\r\n")));
}

TEST_F(DocumentSessionFiles, StampTimeTagsTheSelectedLyricLine) {
    ASSERT_TRUE(session.LoadLyrics(DataFile("song.lrc")));
    ASSERT_TRUE(session.StampTime(2, 605.9));
    EXPECT_EQ(session.lines()[2].Source, U("[10:05.00]"));
    EXPECT_EQ(session.document().lines[2], U("[10:05.00]Plain"));
    EXPECT_TRUE(session.document().modified);
    ASSERT_TRUE(session.StampTime(0, 6005));
    EXPECT_EQ(session.document().lines[0], U("[100:05.00]First"));
    EXPECT_FALSE(session.StampTime(99, 1));

    DocumentSession text(settings);
    ASSERT_TRUE(text.LoadPlainText(dir.write(QStringLiteral("a.txt"), "x\r\n")));
    EXPECT_FALSE(text.StampTime(0, 5));
    EXPECT_FALSE(text.document().modified);
}

TEST_F(DocumentSessionFiles, MissingFileLeavesTheCurrentDocument) {
    ASSERT_TRUE(session.LoadLyrics(DataFile("song.lrc")));
    const SubtitleDocument before = session.document();
    const LineList beforeLines = session.lines();
    for (const char* name : {"gone.txt", "gone.lrc", "gone.lpf"}) {
        const IoStatus status = session.Load(dir.file(QString::fromUtf8(name)));
        EXPECT_FALSE(status) << name;
        EXPECT_TRUE(status.message.contains(QString::fromUtf8(name))) << name;
    }
    EXPECT_EQ(session.document().path, before.path);
    EXPECT_EQ(session.document().lines, before.lines);
    EXPECT_EQ(session.lines(), beforeLines);
}

TEST_F(DocumentSessionFiles, BrokenAndHostileFilesLoad) {
    ASSERT_TRUE(session.LoadProject(DataFile("broken.lpf")));
    EXPECT_TRUE(session.document().lines.isEmpty());
    EXPECT_EQ(settings.ActiveSettings.screen(ScreenId::h).ScreenWidth, 256);

    QByteArray garbage(1 << 20, '\0');
    QRandomGenerator rng(42);
    for (char& c : garbage) {
        c = char(rng.bounded(256));
    }
    for (const char* name : {"garbage.txt", "garbage.lrc", "garbage.lpf"}) {
        const QString path = dir.write(QString::fromUtf8(name), garbage);
        EXPECT_TRUE(session.Load(path)) << name;
    }

    const QString longLine =
        dir.write(QStringLiteral("long.txt"), EncodeGbk(QString(U("长")).repeated(100000)));
    settings.StoredSettings.Text.AutoPara = 1;
    ASSERT_TRUE(session.LoadPlainText(longLine));
    EXPECT_EQ(session.lines().size(), 50000);
}

TEST_F(DocumentSessionFiles, FiftyMegabyteFileLoads) {
    QByteArray big;
    big.reserve(50 << 20);
    const QByteArray line = EncodeGbk(U("这是一个很长的剧本里的一行字幕 with some latin text\r\n"));
    while (big.size() < (50 << 20)) {
        big += line;
    }
    const QString path = dir.write(QStringLiteral("big.txt"), big);
    big.clear();
    ASSERT_TRUE(session.LoadPlainText(path));
    EXPECT_EQ(session.lines().size(), session.document().lines.size());
    EXPECT_GT(session.lines().size(), 900000);
}

TEST_F(DocumentSessionFiles, LeavingTheEditorSavesOrRestores) {
    const QString path = dir.write(QStringLiteral("s.txt"), "one\r\ntwo\r\n");
    ASSERT_TRUE(session.LoadPlainText(path));
    session.SetLines({U("edited")});
    op.yesNoAnswers = {false};
    session.ResolveChangesOnLeave(op);
    EXPECT_EQ(op.texts(QStringLiteral("ask")), QStringList({U("当前字幕已经修改，是否保存？")}));
    EXPECT_EQ(session.document().lines, QStringList({U("one"), U("two")}));
    EXPECT_FALSE(session.document().modified);

    session.SetLines({U("kept")});
    op.yesNoAnswers = {true};
    session.ResolveChangesOnLeave(op);
    EXPECT_EQ(TempDir::read(path), QByteArray("kept\r\n"));
    EXPECT_FALSE(session.document().modified);

    // Unchanged documents are not asked about.
    session.ResolveChangesOnLeave(op);
    EXPECT_EQ(op.texts(QStringLiteral("ask")).size(), 2);
}

TEST_F(DocumentSessionFiles, FailedSaveOnLeaveKeepsTheChanges) {
    const QString path = dir.file(QStringLiteral("s.lrc"));
    ASSERT_TRUE(WriteLineFile(path, {U("[00:01]a")}));
    ASSERT_TRUE(session.LoadLyrics(path));
    session.SetLines({U("[00:02]b")});
    // A directory where the file was cannot be replaced by the save.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    op.yesNoAnswers = {true};
    session.ResolveChangesOnLeave(op);
    ASSERT_EQ(op.texts(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(op.texts(QStringLiteral("error")).first().contains(U("s.lrc")));
    EXPECT_TRUE(session.document().modified);
    EXPECT_EQ(session.document().lines, QStringList({U("[00:02]b")}));

    // Discarding cannot read the file back either: the edits stay.
    op.yesNoAnswers = {false};
    session.ResolveChangesOnLeave(op);
    EXPECT_EQ(op.texts(QStringLiteral("error")).size(), 2);
    EXPECT_TRUE(session.document().modified);
    EXPECT_EQ(session.document().lines, QStringList({U("[00:02]b")}));
}

} // namespace
