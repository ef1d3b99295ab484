#include "documents/ScriptEditing.h"
#include "documents/DocumentSession.h"
#include "documents/LineBuilding.h"
#include "documents/ProjectFile.h"

#include "core/TextFiles.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedEditingDialogs.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QStringList Texts(const LineList& items) {
    QStringList out;
    for (const LineItem& item : items) {
        out << item.Number + QLatin1Char(' ') + item.Text + QLatin1Char(' ') + item.Source;
    }
    return out;
}

class ScriptEditingTest : public ::testing::Test {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession session{settings};
    ScriptedOperator op;
    ScriptedEditingDialogs dialogs;
    ScriptEditing editing{session, op, dialogs};

    QString Open(const QString& name, const QByteArray& bytes) {
        const QString path = dir.write(name, bytes);
        EXPECT_TRUE(session.Load(path));
        return path;
    }
    QString OpenScript(const QStringList& lines) {
        return Open(QStringLiteral("show.txt"), JoinLinesGbk(lines));
    }
};

TEST(ImportCleaning, IdeographicSpacesAndBlanks) {
    const struct {
        const char* raw;
        const char* clean;
    } cases[] = {
        {"\u3000\u3000第一场\u3000", "第一场"},
        {"A\u3000B", "A  B"},
        {" \t 第二场\t \x01", "第二场"},
        {"\t\u3000", ""},
        {"", ""},
        {"全角\uff01", "全角\uff01"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanImportedLines({U(c.raw)}), QStringList{U(c.clean)}) << c.raw;
    }
}

TEST(EditorText, SplittingGivesTheJoinedLinesBack) {
    for (const QStringList& lines :
         {QStringList{}, QStringList{U("一")}, QStringList{U("一"), QString(), U("三")},
          QStringList{U("a"), QString()}, QStringList{QString()}}) {
        if (lines == QStringList{QString()}) {
            // One empty line and no line at all look the same in an editor.
            EXPECT_EQ(SplitEditorText(lines.join(u'\n')), QStringList());
            continue;
        }
        EXPECT_EQ(SplitEditorText(lines.join(u'\n')), lines) << lines.join(u'|').toStdString();
    }
    EXPECT_EQ(SplitEditorText(U("a\r\nb\rc\u2029d")),
              (QStringList{U("a"), U("b"), U("c"), U("d")}));
}

TEST_F(ScriptEditingTest, EveryCommandWantsADocumentFirst) {
    EXPECT_EQ(editing.Import(), EditOutcome{});
    EXPECT_EQ(editing.EditWhole(), EditOutcome{});
    EXPECT_EQ(editing.Insert(-1), EditOutcome{});
    EXPECT_EQ(editing.Modify(0), EditOutcome{});
    EXPECT_EQ(editing.Delete(0), EditOutcome{});
    editing.Save();
    EXPECT_EQ(op.texts(QStringLiteral("inform")), QStringList(6, EditingTexts::kSelectFile));
    EXPECT_EQ(op.events.size(), 6u);
}

TEST_F(ScriptEditingTest, ImportsGbkAndUtf8WithMarkScripts) {
    OpenScript({U("旧的一行")});
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"gbk.txt", EncodeGbk(U("\u3000\u3000第一场\u3000\r\n\r\n甲：你好\r\n"))},
        {"bom.txt",
         QByteArray("\xEF\xBB\xBF") + U("\u3000\u3000第一场\u3000\n\n甲：你好").toUtf8()},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        op.openAnswers.push_back(dir.write(QString::fromUtf8(f.name), f.bytes));
        EXPECT_EQ(editing.Import(), (EditOutcome{true, -1}));
        EXPECT_EQ(op.events.back().text, EditingTexts::kImportFilter);
        EXPECT_EQ(session.document().lines, (QStringList{U("第一场"), QString(), U("甲：你好")}));
        EXPECT_EQ(Texts(session.lines()),
                  (QStringList{U("1 第一场 0"), U("2  1"), U("3 甲：你好 2")}));
        EXPECT_TRUE(session.document().modified);
        // The script keeps the form of its own file, whatever the import was.
        EXPECT_EQ(session.document().encoding, TextEncoding::Gbk);
    }
}

TEST_F(ScriptEditingTest, ImportCancelledOrUnreadableChangesNothing) {
    OpenScript({U("一"), U("二")});
    const LineList before = session.lines();
    op.openAnswers.push_back(QString());
    EXPECT_EQ(editing.Import(), EditOutcome{});
    op.openAnswers.push_back(dir.file(QStringLiteral("missing.txt")));
    EXPECT_EQ(editing.Import(), EditOutcome{});
    ASSERT_EQ(op.texts(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(op.texts(QStringLiteral("error"))[0].contains(QStringLiteral("missing.txt")));
    EXPECT_EQ(session.lines(), before);
    EXPECT_FALSE(session.document().modified);
}

TEST_F(ScriptEditingTest, WholeScriptEditCancelOrAccept) {
    OpenScript({U("一"), U("二")});
    dialogs.scriptAnswers.push_back(std::nullopt);
    EXPECT_EQ(editing.EditWhole(), EditOutcome{});
    EXPECT_EQ(dialogs.scriptsShown.last(), (QStringList{U("一"), U("二")}));
    EXPECT_FALSE(session.document().modified);
    EXPECT_EQ(session.lines().size(), 2);

    settings.ActiveSettings.Text.AutoPara = 1;
    settings.ActiveSettings.Text.ParaLen = 2;
    dialogs.scriptAnswers.push_back(U("一二三四五\n\n六"));
    EXPECT_EQ(editing.EditWhole(), (EditOutcome{true, -1}));
    EXPECT_EQ(session.document().lines, (QStringList{U("一二三四五"), QString(), U("六")}));
    EXPECT_EQ(Texts(session.lines()),
              (QStringList{U("1 一二 0"), U("2 三四 0"), U("3 五 0"), U("4  1"), U("5 六 2")}));
    EXPECT_TRUE(session.document().modified);
}

TEST_F(ScriptEditingTest, InsertBeforeTheSelectedLineOrAppendToAnEmptyScript) {
    OpenScript({});
    dialogs.lineAnswers.push_back(U("第一句"));
    EXPECT_EQ(editing.Insert(-1), (EditOutcome{true, 0}));
    EXPECT_EQ(dialogs.linesShown.last(), U("插入字幕|"));
    EXPECT_EQ(session.document().lines, QStringList{U("第一句")});

    dialogs.lineAnswers.push_back(U("开场"));
    EXPECT_EQ(editing.Insert(0), (EditOutcome{true, 0}));
    EXPECT_EQ(session.document().lines, (QStringList{U("开场"), U("第一句")}));

    // Segments: the new line goes before the whole line of the selected
    // segment, and its first segment is selected.
    settings.ActiveSettings.Text.AutoPara = 1;
    settings.ActiveSettings.Text.ParaLen = 1;
    session.RebuildLineList(); // 开|场|第|一|句
    dialogs.lineAnswers.push_back(U("插话"));
    EXPECT_EQ(editing.Insert(4), (EditOutcome{true, 2}));
    EXPECT_EQ(session.document().lines, (QStringList{U("开场"), U("插话"), U("第一句")}));
    EXPECT_EQ(session.lines()[2].Text, U("插"));

    dialogs.lineAnswers.push_back(std::nullopt);
    EXPECT_EQ(editing.Insert(0), EditOutcome{});
    EXPECT_EQ(session.document().lines.size(), 3);
}

TEST_F(ScriptEditingTest, ASelectionOutsideTheListIsNoSelection) {
    OpenScript({U("一"), U("二")});
    for (qsizetype selected : {qsizetype(-1), qsizetype(2), qsizetype(99)}) {
        EXPECT_EQ(editing.Insert(selected), EditOutcome{});
        EXPECT_EQ(editing.Modify(selected), EditOutcome{});
        EXPECT_EQ(editing.Delete(selected), EditOutcome{});
    }
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              (QStringList{EditingTexts::kSelectToInsert, EditingTexts::kSelectToModify,
                           EditingTexts::kSelectToDelete}) +
                  (QStringList{EditingTexts::kSelectToInsert, EditingTexts::kSelectToModify,
                               EditingTexts::kSelectToDelete}) +
                  (QStringList{EditingTexts::kSelectToInsert, EditingTexts::kSelectToModify,
                               EditingTexts::kSelectToDelete}));
    EXPECT_TRUE(dialogs.linesShown.isEmpty());
    EXPECT_FALSE(session.document().modified);
}

TEST_F(ScriptEditingTest, ModifyEditsTheWholeLineOfASegment) {
    settings.StoredSettings.Text.AutoPara = 1;
    settings.StoredSettings.Text.ParaLen = 2;
    OpenScript({U("序"), U("一二三四五")});
    ASSERT_EQ(session.lines().size(), 4); // 序 | 一二 | 三四 | 五
    dialogs.lineAnswers.push_back(U("甲乙"));
    EXPECT_EQ(editing.Modify(3), (EditOutcome{true, 1}));
    EXPECT_EQ(dialogs.linesShown.last(), U("修改字幕|一二三四五"));
    EXPECT_EQ(session.document().lines, (QStringList{U("序"), U("甲乙")}));
    EXPECT_EQ(session.lines().size(), 2);
}

TEST_F(ScriptEditingTest, DeleteAsksAndSelectsTheLineThatTakesItsPlace) {
    OpenScript({U("一"), U("二"), U("三")});
    op.yesNoAnswers.push_back(false);
    EXPECT_EQ(editing.Delete(1), EditOutcome{});
    EXPECT_EQ(op.texts(QStringLiteral("ask")), QStringList{EditingTexts::kConfirmDelete});
    EXPECT_EQ(session.document().lines.size(), 3);

    op.yesNoAnswers = {true, true, true};
    EXPECT_EQ(editing.Delete(1), (EditOutcome{true, 1}));
    EXPECT_EQ(session.document().lines, (QStringList{U("一"), U("三")}));
    EXPECT_EQ(editing.Delete(1), (EditOutcome{true, 0}));  // the last: the new last one
    EXPECT_EQ(editing.Delete(0), (EditOutcome{true, -1})); // the only one: nothing left
    EXPECT_TRUE(session.lines().isEmpty());
    EXPECT_TRUE(session.document().modified);
}

TEST_F(ScriptEditingTest, LyricEditsReachTheFileAndKeepStampsOnTheirRows) {
    const QString path = Open(QStringLiteral("song.lrc"),
                              EncodeGbk(U("[ti:歌]\r\n[00:01.00]一\r\n[00:02.00]二\r\n")));
    dialogs.lineAnswers.push_back(U("新"));
    EXPECT_EQ(editing.Insert(1), (EditOutcome{true, 1}));
    EXPECT_EQ(Texts(session.lines()),
              (QStringList{U("1 一 [00:01.00]"), U("2 新 "), U("3 二 [00:02.00]")}));
    dialogs.lineAnswers.push_back(U("二改"));
    EXPECT_EQ(editing.Modify(2), (EditOutcome{true, 2}));
    EXPECT_EQ(dialogs.linesShown.last(), U("修改字幕|二"));
    op.yesNoAnswers.push_back(true);
    EXPECT_EQ(editing.Delete(0), (EditOutcome{true, -1}));
    ASSERT_TRUE(session.StampTime(0, 7.5));
    EXPECT_EQ(session.document().lines, (QStringList{U("[00:07.00]新"), U("[00:02.00]二改")}));

    // An empty line gives no lyric row: nothing is inserted.
    dialogs.lineAnswers.push_back(QStringLiteral("  "));
    EXPECT_EQ(editing.Insert(0), EditOutcome{});

    editing.Save();
    EXPECT_FALSE(session.document().modified);
    EXPECT_EQ(TempDir::read(path), EncodeGbk(U("[00:07.00]新\r\n[00:02.00]二改\r\n")));
}

TEST_F(ScriptEditingTest, ModifyingARowStampedSeveralTimesKeepsEveryStamp) {
    const QString path =
        Open(QStringLiteral("song.lrc"),
             EncodeGbk(U("[00:10.00]主歌\r\n[00:20.00][01:20.00] [02:00.50]副歌\r\n")));
    // One row of the list stands for the three showings of the chorus.
    ASSERT_EQ(Texts(session.lines()).size(), 2);
    dialogs.lineAnswers.push_back(U("副歌改"));
    EXPECT_TRUE(editing.Modify(1).changed);
    EXPECT_EQ(session.document().lines,
              (QStringList{U("[00:10.00]主歌"), U("[00:20.00][01:20.00] [02:00.50]副歌改")}));
    EXPECT_EQ(Texts(session.lines()),
              (QStringList{U("1 主歌 [00:10.00]"), U("2 副歌改 [00:20.00]")}));
    editing.Save();
    EXPECT_EQ(TempDir::read(path),
              EncodeGbk(U("[00:10.00]主歌\r\n[00:20.00][01:20.00] [02:00.50]副歌改\r\n")));
}

TEST_F(ScriptEditingTest, AStampAfterAWholeScriptEditLandsOnItsOwnRow) {
    Open(QStringLiteral("song.lrc"), EncodeGbk(U("[00:01.00]一\r\n")));
    // The editor lets the operator type empty and header lines between rows.
    dialogs.scriptAnswers.push_back(U("[ar:某人]\n一\n\n二\n三"));
    editing.EditWhole();
    ASSERT_EQ(session.lines().size(), 3);
    ASSERT_TRUE(session.StampTime(1, 12));
    ASSERT_TRUE(session.StampTime(2, 14));
    EXPECT_EQ(session.document().lines, (QStringList{U("[ar:某人]"), U("一"), QString(),
                                                     U("[00:12.00]二"), U("[00:14.00]三")}));
    EXPECT_EQ(Texts(BuildLyricList(session.document().lines)),
              (QStringList{U("1 一 "), U("2 二 [00:12.00]"), U("3 三 [00:14.00]")}));
}

TEST_F(ScriptEditingTest, SavingKeepsTheScriptsOwnEncoding) {
    const QString path =
        Open(QStringLiteral("bom.txt"), QByteArray("\xEF\xBB\xBF") + U("一").toUtf8());
    dialogs.lineAnswers.push_back(U("二"));
    editing.Insert(0);
    editing.Save();
    EXPECT_EQ(TempDir::read(path), QByteArray("\xEF\xBB\xBF") + U("二\r\n一\r\n").toUtf8());
    EXPECT_FALSE(session.document().modified);
}

TEST_F(ScriptEditingTest, AFailedSaveNamesTheFileAndKeepsEveryEdit) {
    const QString path = OpenScript({U("原来的第一句"), U("原来的第二句")});
    const QByteArray onDisk = TempDir::read(path);
    dialogs.scriptAnswers.push_back(QString(2000, QChar(u'字')));
    editing.EditWhole();
    const QStringList edited = session.document().lines;
    {
        // A full disk, as far as any writer can tell; root included.
        FileSizeLimit limit(64);
        editing.Save();
    }
    ASSERT_EQ(op.texts(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(op.texts(QStringLiteral("error"))[0].contains(QStringLiteral("show.txt")));
    EXPECT_TRUE(session.document().modified);
    EXPECT_EQ(session.document().lines, edited);
    EXPECT_EQ(TempDir::read(path), onDisk);

    // The folder of the file replaced by a file: no writer gets past that.
    DocumentSession other(settings);
    ScriptEditing otherEditing(other, op, dialogs);
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("act"))));
    const QString inFolder = dir.write(QStringLiteral("act/act.lrc"), "[00:01.00]a\r\n");
    ASSERT_TRUE(other.Load(inFolder));
    ASSERT_TRUE(other.StampTime(0, 3));
    ASSERT_TRUE(QDir(dir.file(QStringLiteral("act"))).removeRecursively());
    dir.write(QStringLiteral("act"), "not a folder");
    otherEditing.Save();
    ASSERT_EQ(op.texts(QStringLiteral("error")).size(), 2);
    EXPECT_TRUE(op.texts(QStringLiteral("error"))[1].contains(QStringLiteral("act.lrc")));
    EXPECT_TRUE(other.document().modified);
    EXPECT_EQ(other.document().lines, QStringList{QStringLiteral("[00:03.00]a")});
}

class NewFileTest : public ScriptEditingTest {
protected:
    std::optional<NewSubtitleFile> Create(const QString& track = {}) {
        return CreateNewSubtitleFile(op, dialogs, settings.ActiveSettings, track);
    }
};

TEST_F(NewFileTest, ALyricFileForTheTrack) {
    const QString track = dir.write(QStringLiteral("歌.MP3"), "not really audio");
    dialogs.newFileAnswers.push_back(NewFileChoice{true, NewFileType::Txt});
    const std::optional<NewSubtitleFile> made = Create(track);
    ASSERT_TRUE(made);
    EXPECT_EQ(dialogs.trackOffered, QList<bool>{true});
    EXPECT_EQ(made->path, dir.file(U("歌.lrc")));
    EXPECT_TRUE(made->forTrack);
    EXPECT_TRUE(QFileInfo(made->path).isFile());
    EXPECT_EQ(QFileInfo(made->path).size(), 0);
    EXPECT_TRUE(op.events.empty()); // no save dialog for the track's file
}

TEST_F(NewFileTest, IndependentFilesOfEachTypeGetTheirExtension) {
    const struct {
        NewFileType type;
        const char* typed;
        const char* made;
        const char* filter;
    } cases[] = {
        {NewFileType::Txt, "a", "a.txt", "文本文件(*.txt)|*.txt|所有文件(*.*)|*.*"},
        {NewFileType::Txt, "b.TXT", "b.TXT", "文本文件(*.txt)|*.txt|所有文件(*.*)|*.*"},
        {NewFileType::Lrc, "c.txt", "c.txt.lrc", "LED播放列表(*.lrc)|*.lrc|所有文件(*.*)|*.*"},
        {NewFileType::Lpf, "d", "d.lpf", "LED播放列表(*.lpf)|*.lpf|所有文件(*.*)|*.*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        op.events.clear();
        dialogs.newFileAnswers.push_back(NewFileChoice{false, c.type});
        op.saveAnswers.push_back(dir.file(QString::fromUtf8(c.typed)));
        const std::optional<NewSubtitleFile> made = Create();
        ASSERT_TRUE(made);
        EXPECT_EQ(op.texts(QStringLiteral("save")), QStringList{U(c.filter)});
        EXPECT_EQ(made->path, dir.file(QString::fromUtf8(c.made)));
        EXPECT_FALSE(made->forTrack);
        const QByteArray expected =
            c.type == NewFileType::Lpf ? JoinLinesGbk(ProjectFileLines(settings.ActiveSettings, {}))
                                       : QByteArray();
        EXPECT_EQ(TempDir::read(made->path), expected);
    }
    EXPECT_EQ(dialogs.trackOffered, QList<bool>(4, false));
}

TEST_F(NewFileTest, AnExistingNameIsEmptiedOnlyWhenTheOperatorAgrees) {
    const QString existing =
        dir.write(QStringLiteral("show.txt"), EncodeGbk(U("一小时的剧本\r\n")));
    dialogs.newFileAnswers = {NewFileChoice{}, NewFileChoice{}};
    op.saveAnswers = {dir.file(QStringLiteral("show")), dir.file(QStringLiteral("show.txt"))};
    op.yesNoAnswers = {false, true};
    EXPECT_FALSE(Create());
    EXPECT_EQ(TempDir::read(existing), EncodeGbk(U("一小时的剧本\r\n")));
    ASSERT_TRUE(Create());
    EXPECT_EQ(TempDir::read(existing), QByteArray());
    ASSERT_EQ(op.texts(QStringLiteral("ask")).size(), 2);
    EXPECT_TRUE(op.texts(QStringLiteral("ask"))[0].contains(QStringLiteral("show.txt")));
}

TEST_F(NewFileTest, CancelledDialogsAndFailedWritesMakeNothing) {
    dialogs.newFileAnswers = {std::nullopt, NewFileChoice{}, NewFileChoice{}};
    EXPECT_FALSE(Create());
    op.saveAnswers = {QString(), dir.file(QStringLiteral("nofolder/x.txt"))};
    EXPECT_FALSE(Create());
    EXPECT_FALSE(Create());
    ASSERT_EQ(op.texts(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(op.texts(QStringLiteral("error"))[0].contains(QStringLiteral("x.txt")));
}

} // namespace
