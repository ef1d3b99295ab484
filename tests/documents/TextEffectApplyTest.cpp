#include "documents/TextEffectApply.h"

#include "documents/ProjectFile.h"

#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Text records that differ from the defaults in every field, with a segment
// length that cuts the script's line, so a rebuilt list is visibly different.
void ChangeTextRecords(TSettings& settings) {
    settings.Text = {1, 2, 3, 2};
    for (int i = 0; i < 3; ++i) {
        TTextEffect& effect = settings.Effect[i];
        effect.Font = QStringLiteral("Face %1").arg(i + 1);
        effect.Color = 2 + i % 2;
        effect.Bold = 1;
        effect.Italic = 1;
        effect.Row = 2;
        effect.AutoSize = 1 + i % 2;
        effect.SizeWidth = 10 + i;
        effect.SizeHeight = 20 + i;
        effect.Zjj = true;
        effect.Effect = 1 + i;
        effect.Speed = 7;
        effect.RollStay = 4;
    }
}

const LineList kSegmented = {{U("1"), U("一二"), U("0")},
                             {U("2"), U("三四"), U("0")},
                             {U("3"), U("五"), U("0")},
                             {U("4"), U("六"), U("1")}};

class TextEffectApplyTest : public ::testing::Test {
protected:
    TempDir dir;
    SettingsStore store;
    DocumentSession session{store};

    QString writeProject(const char* name) {
        TSettings own;
        own.Link.Com = 2;
        own.Screen[1].ScreenWidth = 48;
        return dir.write(
            U(name),
            EncodeGbk(
                ProjectFileLines(own, {U("一二三四五"), U("六")}).join(QStringLiteral("\r\n")) +
                QStringLiteral("\r\n")));
    }
    QStringList filesInDir() const { return QDir(dir.path()).entryList(QDir::Files); }
};

TEST_F(TextEffectApplyTest, ProjectIsWrittenAgainAndStoredSettingsStay) {
    // The extension decides without regard to case.
    for (const char* name : {"show.lpf", "SHOW2.LPF"}) {
        SCOPED_TRACE(name);
        const QString path = writeProject(name);
        ASSERT_TRUE(session.LoadProject(path));
        const TSettings storedBefore = store.StoredSettings;
        ChangeTextRecords(store.ActiveSettings);

        const IoStatus status = ApplyTextEffectSettings(store, session);
        ASSERT_TRUE(status) << status.message.toStdString();

        EXPECT_EQ(store.StoredSettings, storedBefore);
        EXPECT_EQ(session.lines(), kSegmented);
        // The file holds the new text records, its own screens and its lines.
        TSettings reread;
        const TextFileContent written = ReadTextFile(path);
        ASSERT_TRUE(written.status);
        EXPECT_EQ(ParseProjectText(written.text, reread), QStringList({U("一二三四五"), U("六")}));
        EXPECT_EQ(reread.Text, store.ActiveSettings.Text);
        EXPECT_EQ(reread.Effect, store.ActiveSettings.Effect);
        EXPECT_EQ(reread.Link.Com, 2);
        EXPECT_EQ(reread.Screen[1].ScreenWidth, 48);
    }
}

TEST_F(TextEffectApplyTest, PlainTextChangesStoredTextRecordsOnlyAndWritesNothing) {
    const QByteArray script = EncodeGbk(U("一二三四五\r\n六\r\n"));
    const QString path = dir.write(U("script.txt"), script);
    ASSERT_TRUE(session.LoadPlainText(path));
    const TSettings storedBefore = store.StoredSettings;
    ChangeTextRecords(store.ActiveSettings);
    // Screen and link records belong to the other dialog; only the text
    // records travel with this one.
    store.ActiveSettings.Screen[0].ScreenWidth = 512;
    store.ActiveSettings.Link.Com = 5;

    ASSERT_TRUE(ApplyTextEffectSettings(store, session));

    EXPECT_EQ(store.StoredSettings.Text, store.ActiveSettings.Text);
    EXPECT_EQ(store.StoredSettings.Effect, store.ActiveSettings.Effect);
    EXPECT_EQ(store.StoredSettings.Screen, storedBefore.Screen);
    EXPECT_EQ(store.StoredSettings.Link, storedBefore.Link);
    EXPECT_EQ(session.lines(), kSegmented);
    EXPECT_EQ(TempDir::read(path), script);
    EXPECT_EQ(filesInDir(), QStringList({U("script.txt")}));
}

TEST_F(TextEffectApplyTest, LyricsAreRebuiltAsLyricsWhateverTheParagraphing) {
    const QByteArray script = EncodeGbk(U("[00:01.00]一二三四五\r\n[ar:x]\r\n"));
    const QString path = dir.write(U("song.lrc"), script);
    ASSERT_TRUE(session.LoadLyrics(path));
    ChangeTextRecords(store.ActiveSettings);

    ASSERT_TRUE(ApplyTextEffectSettings(store, session));

    EXPECT_EQ(session.lines(), LineList({{U("1"), U("一二三四五"), U("[00:01.00]")}}));
    EXPECT_EQ(store.StoredSettings.Text, store.ActiveSettings.Text);
    EXPECT_EQ(TempDir::read(path), script);
}

TEST_F(TextEffectApplyTest, ParagraphingBackToWholeLinesUndoesTheSegments) {
    const QString path = dir.write(U("script.txt"), EncodeGbk(U("一二三四五\r\n六\r\n")));
    ASSERT_TRUE(session.LoadPlainText(path));
    ChangeTextRecords(store.ActiveSettings);
    ASSERT_TRUE(ApplyTextEffectSettings(store, session));
    ASSERT_EQ(session.lines().size(), 4);

    store.ActiveSettings.Text.AutoPara = 0;
    ASSERT_TRUE(ApplyTextEffectSettings(store, session));
    EXPECT_EQ(session.lines(),
              LineList({{U("1"), U("一二三四五"), U("0")}, {U("2"), U("六"), U("1")}}));
}

TEST_F(TextEffectApplyTest, WithoutADocumentOnlyTheStoredSettingsChange) {
    ChangeTextRecords(store.ActiveSettings);
    ASSERT_TRUE(ApplyTextEffectSettings(store, session));
    EXPECT_EQ(store.StoredSettings.Text, store.ActiveSettings.Text);
    EXPECT_EQ(store.StoredSettings.Effect, store.ActiveSettings.Effect);
    EXPECT_TRUE(session.lines().isEmpty());
    EXPECT_TRUE(filesInDir().isEmpty());
}

TEST_F(TextEffectApplyTest, AProjectWhoseFileIsGoneKeepsItsSettingsInConfig) {
    const QString path = writeProject("show.lpf");
    ASSERT_TRUE(session.LoadProject(path));
    ASSERT_TRUE(QFile::remove(path));
    ChangeTextRecords(store.ActiveSettings);

    ASSERT_TRUE(ApplyTextEffectSettings(store, session));

    EXPECT_EQ(store.StoredSettings.Text, store.ActiveSettings.Text);
    EXPECT_EQ(store.StoredSettings.Effect, store.ActiveSettings.Effect);
    EXPECT_EQ(session.lines(), kSegmented);
    EXPECT_TRUE(filesInDir().isEmpty());
}

TEST_F(TextEffectApplyTest, AProjectThatCannotBeWrittenIsReportedByName) {
    const QString path = writeProject("show.lpf");
    ASSERT_TRUE(session.LoadProject(path));
    // A directory in the file's place exists but cannot be replaced by a file.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(U("show.lpf")));
    const TSettings storedBefore = store.StoredSettings;
    ChangeTextRecords(store.ActiveSettings);

    const IoStatus status = ApplyTextEffectSettings(store, session);

    EXPECT_FALSE(status);
    EXPECT_TRUE(status.message.contains(U("show.lpf"))) << status.message.toStdString();
    EXPECT_EQ(store.StoredSettings, storedBefore);
    EXPECT_EQ(session.lines(), kSegmented);
}

TEST(KeepsOwnSettingsTest, OnlyAnExistingLpfFile) {
    TempDir dir;
    const QString lpf = dir.write(U("a.Lpf"), QByteArray("[Content]\r\n"));
    const QString txt = dir.write(U("a.txt"), QByteArray());
    const QString other = dir.write(U("a.lpfx"), QByteArray());
    struct Case {
        QString path;
        bool keeps;
    };
    const Case cases[] = {
        {lpf, true},        {txt, false}, {other, false}, {dir.file(U("missing.lpf")), false},
        {QString(), false},
    };
    for (const Case& c : cases) {
        SubtitleDocument document;
        document.path = c.path;
        document.kind = KindOfPath(c.path);
        EXPECT_EQ(KeepsOwnSettings(document), c.keeps) << c.path.toStdString();
    }
}

} // namespace
