// Subtitle files as translators deliver them: the two sample deliveries in
// every encoding a script arrives in, broken cues the way players read them,
// and edits that leave the rest of the file alone.
#include "documents/SurtitleFile.h"
#include "documents/DocumentSession.h"
#include "documents/LyricTimeline.h"
#include "documents/ScriptEditing.h"

#include "core/TextFiles.h"
#include "support/ScriptedEditingDialogs.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString FixtureText(const char* name) {
    const QByteArray bytes = TempDir::read(QStringLiteral(STATION_TEST_DATA_DIR "/documents/") +
                                           QString::fromUtf8(name));
    EXPECT_FALSE(bytes.isEmpty()) << name;
    return DecodeScriptText(bytes).text;
}

// "[mm:ss.xx] text" per row, or the time alone for a blank, as the pre-show
// check prints them.
QStringList Rows(const LineList& items) {
    QStringList out;
    for (const LineItem& item : items) {
        out << (item.Text.isEmpty() ? item.Source : item.Source + u' ' + item.Text);
    }
    return out;
}

QList<qint64> DueTimes(const DocumentSession& session) {
    QList<qint64> due;
    for (const TimelineEntry& entry : BuildTimeline(session.document(), session.lines()).entries) {
        due.append(entry.dueMs.value_or(-1));
    }
    return due;
}

QList<int> NoteLines(const QList<SurtitleNote>& notes) {
    QList<int> lines;
    for (const SurtitleNote& note : notes) {
        lines.append(note.fileLine);
    }
    return lines;
}

SurtitleScript ParseSrt(const char* text) {
    return ParseSurtitle(U(text), SurtitleFormat::Srt);
}

QStringList RowsOf(const SurtitleScript& script) {
    QStringList out;
    for (const SurtitleRow& row : BuildSurtitleRows(script)) {
        const QString tag = SurtitleTag(row.timeMs);
        out << (row.blank ? tag : tag + u' ' + script.pieces[row.piece].cue.text);
    }
    return out;
}

const char* const kEncodingNames[] = {"Gbk", "Utf8", "Utf8Bom", "Utf16LeBom", "Utf16BeBom"};

class Deliveries : public ::testing::TestWithParam<TextEncoding> {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession session{settings};

    // The sample delivery re-encoded as the parameter says.
    QString Deliver(const char* fixture, const QString& name) {
        return dir.write(name, EncodeText(FixtureText(fixture), GetParam()));
    }
};

TEST_P(Deliveries, SrtGivesEveryCueAtItsStartAndABlankWhereASilenceFollows) {
    ASSERT_TRUE(session.Load(Deliver("act1.srt", QStringLiteral("act1.srt"))));
    const SubtitleDocument& document = session.document();
    EXPECT_EQ(document.kind, DocumentKind::Surtitle);
    EXPECT_EQ(document.encoding, GetParam());
    const QStringList expected{
        U("[00:01.00] 序曲"),
        U("[00:03.50]"),
        // Two lines of one cue, <i> tags gone.
        U("[00:04.00] 我的心 在燃烧"),
        // Period decimals; it starts where the cue before ends: no blank.
        U("[00:06.00] 合唱：罗密欧 & 朱丽叶"),
        // Starts before the chorus has ended: it takes over, the chorus has no blank.
        U("[00:08.00] 重叠的一句"),
        U("[00:10.00]"),
        // No blank line before it in the file.
        U("[00:12.00] 没有空行之后"),
        U("[00:13.00]"),
        U("[00:14.00] 缺少序号"),
        U("[00:15.00]"),
        // The cue whose times cannot be read is skipped, as players do.
        U("[00:18.50] 终"),
        U("[00:20.00]"),
    };
    EXPECT_EQ(Rows(session.lines()), expected);
    EXPECT_EQ(session.lines()[3].Number, U("4"));
    EXPECT_EQ(DueTimes(session), (QList<qint64>{1000, 3500, 4000, 6000, 8000, 10000, 12000, 13000,
                                                14000, 15000, 18500, 20000}));
    EXPECT_EQ(NoteLines(document.surtitle.notes), (QList<int>{17, 21, 25}));
    EXPECT_EQ(NoteLines(SurtitleOverlaps(document.surtitle)), QList<int>{14});
}

TEST_P(Deliveries, AssShowsDialogueWithoutOverrideBlocksAndKeepsCommasInTheText) {
    ASSERT_TRUE(session.Load(Deliver("act1.ass", QStringLiteral("act1.ass"))));
    EXPECT_EQ(session.document().kind, DocumentKind::Surtitle);
    EXPECT_EQ(session.document().encoding, GetParam());
    const QStringList expected{
        // The Comment: line before it is not shown.
        U("[00:01.00] 序曲"),
        U("[00:03.50]"),
        U("[00:04.00] 我的心 在燃烧"),
        U("[00:06.00] Addio, mio caro, addio"),
        U("[00:08.00]"),
        U("[00:09.00] 再见 朋友"),
        U("[00:10.50]"),
    };
    EXPECT_EQ(Rows(session.lines()), expected);
    EXPECT_EQ(DueTimes(session), (QList<qint64>{1000, 3500, 4000, 6000, 8000, 9000, 10500}));
    EXPECT_TRUE(session.document().surtitle.notes.isEmpty());
    EXPECT_TRUE(SurtitleOverlaps(session.document().surtitle).isEmpty());
}

TEST_P(Deliveries, AnEditedCueIsWrittenBackInTheSameFormTimesAndEncoding) {
    const QString path = Deliver("act1.srt", QStringLiteral("act1.srt"));
    ASSERT_TRUE(session.Load(path));
    ScriptedOperator op;
    ScriptedEditingDialogs dialogs;
    ScriptEditing editing(session, op, dialogs);
    dialogs.lineAnswers.push_back(U("我的心在歌唱"));
    EXPECT_EQ(editing.Modify(2), (EditOutcome{true, 2}));
    EXPECT_EQ(dialogs.linesShown, QStringList{U("修改字幕|我的心 在燃烧")});
    editing.Save();
    EXPECT_TRUE(op.texts(QStringLiteral("error")).isEmpty());

    const DecodedText saved = DecodeScriptText(TempDir::read(path));
    EXPECT_EQ(saved.encoding, GetParam());
    // Only the edited cue changed; the numbers run on, the missing blank line
    // and number are there, and the cue without readable times is kept.
    const QString expected = U("1\r\n00:00:01,000 --> 00:00:03,500\r\n<i>序曲</i>\r\n\r\n"
                               "2\r\n00:00:04,000 --> 00:00:06,000\r\n我的心在歌唱\r\n\r\n"
                               "3\r\n00:00:06.000 --> 00:00:08.250\r\n"
                               "{\\an8}<b>合唱</b>：罗密欧 &amp; 朱丽叶\r\n\r\n"
                               "4\r\n00:00:08,000 --> 00:00:10,000\r\n重叠的一句\r\n\r\n"
                               "5\r\n00:00:12,000 --> 00:00:13,000\r\n没有空行之后\r\n\r\n"
                               "6\r\n00:00:14,000 --> 00:00:15,000\r\n缺少序号\r\n\r\n"
                               "7\r\n00:00:1X,000 --> 00:00:17,000\r\n坏时间\r\n\r\n"
                               "8\r\n00:00:18,500 --> 00:00:20,000\r\n终\r\n\r\n");
    EXPECT_EQ(saved.text, expected);
}

TEST_P(Deliveries, AnEditedDialogueLineKeepsItsFieldsAndPlacement) {
    const QString path = Deliver("act1.ass", QStringLiteral("act1.ass"));
    ASSERT_TRUE(session.Load(path));
    ScriptedOperator op;
    ScriptedEditingDialogs dialogs;
    ScriptEditing editing(session, op, dialogs);
    dialogs.lineAnswers.push_back(U("Addio, addio"));
    EXPECT_EQ(editing.Modify(3), (EditOutcome{true, 3}));
    editing.Save();
    const DecodedText saved = DecodeScriptText(TempDir::read(path));
    EXPECT_EQ(saved.encoding, GetParam());
    QString expected = FixtureText("act1.ass");
    expected.replace(U("{\\an8}Addio, mio caro, addio"), U("{\\an8}Addio, addio"));
    EXPECT_EQ(saved.text, expected);
}

INSTANTIATE_TEST_SUITE_P(Encodings, Deliveries,
                         ::testing::Values(TextEncoding::Gbk, TextEncoding::Utf8,
                                           TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom,
                                           TextEncoding::Utf16BeBom),
                         [](const auto& info) { return kEncodingNames[int(info.param)]; });

TEST(CueText, TagsBlocksBreaksAndEntities) {
    const struct {
        const char* written;
        SurtitleFormat format;
        const char* shown;
    } cases[] = {
        {"<i>Hello</i>", SurtitleFormat::Srt, "Hello"},
        {"<font color=\"#ff0000\">红</font>色", SurtitleFormat::Srt, "红色"},
        {"{\\an8}Top", SurtitleFormat::Srt, "Top"},
        // SRT has no comments in braces: only override blocks go.
        {"{aside}", SurtitleFormat::Srt, "{aside}"},
        {"{comment}Text{\\i1}", SurtitleFormat::Ass, "Text"},
        {"a\\Nb\\nc", SurtitleFormat::Ass, "a b c"},
        {"line one\n  line two  ", SurtitleFormat::Srt, "line one line two"},
        {"{\\an8}\n第二行", SurtitleFormat::Srt, "第二行"},
        {"no\\hbreak", SurtitleFormat::Ass, "no break"},
        {"Tom &amp; Jerry &lt;3 &#20013;&#x6587; &bogus; &#1;", SurtitleFormat::Srt,
         "Tom & Jerry <3 中文 &bogus; &#1;"},
        // Escaped tags are text for the audience.
        {"&lt;i&gt;kept&lt;/i&gt;", SurtitleFormat::Srt, "<i>kept</i>"},
        {"a < b > c", SurtitleFormat::Srt, "a < b > c"},
        {"x <3", SurtitleFormat::Srt, "x <3"},
        // The shapes of a drawing are no text; "\pos" is no drawing.
        {"{\\p1}m 0 0 l 100 0 100 100{\\p0}Sign", SurtitleFormat::Ass, "Sign"},
        {"{\\pos(960,540)\\fad(200,200)}Pos", SurtitleFormat::Ass, "Pos"},
        {"{unclosed", SurtitleFormat::Ass, "{unclosed"},
        {"", SurtitleFormat::Srt, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CueTextShown(U(c.written), c.format), U(c.shown)) << c.written;
    }
}

TEST(BrokenSrt, ReadAsPlayersReadThem) {
    const struct {
        const char* what;
        const char* text;
        QStringList rows;
        QList<int> notes;
    } cases[] = {
        {"Mac line ends",
         "1\r00:00:01,000 --> 00:00:02,000\rA\r\r2\r00:00:03,000 --> 00:00:04,000\rB\r",
         {U("[00:01.00] A"), U("[00:02.00]"), U("[00:03.00] B"), U("[00:04.00]")},
         {}},
        {"no hours, one-digit fraction, position hints",
         "1\n00:01,5 --> 00:02,500  X1:40 X2:600 Y1:20 Y2:50\nA\n",
         {U("[00:01.50] A"), U("[00:02.50]")},
         {}},
        {"back to back cues have no blank",
         "1\n0:0:1,0 --> 0:0:2,0\nA\n\n2\n0:0:2,0 --> 0:0:3,0\nB\n",
         {U("[00:01.00] A"), U("[00:02.00] B"), U("[00:03.00]")},
         {}},
        {"an end before the start keeps the cue until the next",
         "1\n00:00:05,000 --> 00:00:04,000\nA\n\n2\n00:00:06,000 --> 00:00:07,000\nB\n",
         {U("[00:05.00] A"), U("[00:06.00] B"), U("[00:07.00]")},
         {1}},
        {"text outside any cue",
         "garbage\n\n1\n00:00:01,000 --> 00:00:02,000\nA\n\nstray\nmore\n",
         {U("[00:01.00] A"), U("[00:02.00]")},
         {1, 7}},
        {"a number as the text of a cue",
         "1\n00:00:01,000 --> 00:00:02,000\n1984\n\n",
         {U("[00:01.00] 1984"), U("[00:02.00]")},
         {}},
        {"cues out of file order are shown in time order",
         "1\n00:00:10,000 --> 00:00:11,000\nlater\n\n2\n00:00:05,000 --> 00:00:06,000\nsooner\n",
         {U("[00:05.00] sooner"), U("[00:06.00]"), U("[00:10.00] later"), U("[00:11.00]")},
         {}},
        {"times that cannot be read",
         "1\n00:00:01 --> soon\nA\n\n2\n-1:00:02,000 --> 00:00:03,000\nB\n",
         {},
         {2, 6}},
        {"an hour-long show",
         "1\n01:59:59,990 --> 02:00:01,000\nEnd\n",
         {U("[119:59.99] End"), U("[120:01.00]")},
         {}},
    };
    for (const auto& c : cases) {
        const SurtitleScript script = ParseSrt(c.text);
        EXPECT_EQ(RowsOf(script), c.rows) << c.what;
        EXPECT_EQ(NoteLines(script.notes), c.notes) << c.what;
    }
}

TEST(BrokenAss, DialogueLinesAsPlayersReadThem) {
    const struct {
        const char* what;
        const char* text;
        QStringList rows;
        QList<int> notes;
    } cases[] = {
        {"too few fields",
         "[Events]\nFormat: Layer, Start, End, Style, Text\nDialogue: 0,0:00:01.00\n",
         {},
         {3}},
        {"a Format line without room for both times",
         "[Events]\nFormat: Layer, Start, End\nDialogue: 0,0:00:01.00,0:00:02.00\n",
         {},
         {3}},
        {"fields in another order",
         "[Events]\nFormat: Start, End, Style, Text\nDialogue: 0:00:01.00,0:00:02.00,Default,Hi, "
         "there\n",
         {U("[00:01.00] Hi, there"), U("[00:02.00]")},
         {}},
        {"the SSA form",
         "[Events]\nFormat: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
         "Text\nDialogue: Marked=0,0:00:01.00,0:00:02.00,*Default,NTP,0000,0000,0000,!Effect,"
         "Hello\n",
         {U("[00:01.00] Hello"), U("[00:02.00]")},
         {}},
        {"no Format line",
         "[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,A,B\n",
         {U("[00:01.00] A,B"), U("[00:02.00]")},
         {}},
        {"outside the events",
         "[Script Info]\nDialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,A\n",
         {},
         {2}},
        {"times that cannot be read",
         "[Events]\nDialogue: 0,0:00:0a.00,0:00:02.00,D,,0,0,0,,A\n",
         {},
         {2}},
        {"comments and other lines are no cues",
         "[Events]\nComment: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,note\n; remark\n"
         "Dialogue:0,0:00:03.00,0:00:04.00,D,,0,0,0,,shown\n",
         {U("[00:03.00] shown"), U("[00:04.00]")},
         {}},
    };
    for (const auto& c : cases) {
        const SurtitleScript script = ParseSurtitle(U(c.text), SurtitleFormat::Ass);
        EXPECT_EQ(RowsOf(script), c.rows) << c.what;
        EXPECT_EQ(NoteLines(script.notes), c.notes) << c.what;
        // Read and written back untouched, the file is the same.
        EXPECT_EQ(SurtitleFileLines(script), SplitLines(U(c.text))) << c.what;
    }
}

TEST(SurtitleOverlaps, NamedAgainstTheCueStillOn) {
    // A long cue, one inside it, and one after both.
    const SurtitleScript script = ParseSrt("1\n00:00:01,000 --> 00:00:10,000\nlong\n\n"
                                           "2\n00:00:02,000 --> 00:00:03,000\ninside\n\n"
                                           "3\n00:00:04,000 --> 00:00:05,000\nstill inside\n\n"
                                           "4\n00:00:11,000 --> 00:00:12,000\nafter\n");
    const QList<SurtitleNote> overlaps = SurtitleOverlaps(script);
    EXPECT_EQ(NoteLines(overlaps), (QList<int>{5, 9}));
    ASSERT_EQ(overlaps.size(), 2);
    EXPECT_TRUE(overlaps[1].text.contains(QStringLiteral("line 1")))
        << overlaps[1].text.toStdString();
    EXPECT_TRUE(overlaps[1].text.contains(QStringLiteral("[00:10.00]")));
    // The cue inside takes over and blanks at its end; the long cue's end is dropped.
    EXPECT_EQ(RowsOf(script),
              (QStringList{U("[00:01.00] long"), U("[00:02.00] inside"), U("[00:03.00]"),
                           U("[00:04.00] still inside"), U("[00:05.00]"), U("[00:11.00] after"),
                           U("[00:12.00]")}));
}

class SurtitleEditingTest : public ::testing::Test {
protected:
    TempDir dir;
    SettingsStore settings;
    DocumentSession session{settings};
    ScriptedOperator op;
    ScriptedEditingDialogs dialogs;
    ScriptEditing editing{session, op, dialogs};

    QString Open(const QString& name, const QString& text,
                 TextEncoding encoding = TextEncoding::Utf8) {
        const QString path = dir.write(name, EncodeText(text, encoding));
        EXPECT_TRUE(session.Load(path));
        return path;
    }
    QString Saved(const QString& path) {
        editing.Save();
        EXPECT_TRUE(op.texts(QStringLiteral("error")).isEmpty());
        return DecodeScriptText(TempDir::read(path)).text;
    }
};

TEST_F(SurtitleEditingTest, InsertedCuesStartASecondAfterTheRowBeforeThem) {
    const QString path = Open(QStringLiteral("a.srt"), U("1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                                         "2\n00:00:05,000 --> 00:00:06,000\nB\n"));
    // Before the blank after A: one second after A's start.
    dialogs.lineAnswers.push_back(U("插入"));
    EXPECT_EQ(editing.Insert(1), (EditOutcome{true, 1}));
    EXPECT_EQ(Rows(session.lines()),
              (QStringList{U("[00:01.00] A"), U("[00:02.00] 插入"), U("[00:03.00]"),
                           U("[00:05.00] B"), U("[00:06.00]")}));
    // Before the first row: at the start of the show.
    dialogs.lineAnswers.push_back(U("开场"));
    EXPECT_EQ(editing.Insert(0), (EditOutcome{true, 0}));
    EXPECT_EQ(session.lines()[0].Source, U("[00:00.00]"));
    EXPECT_TRUE(session.document().modified);
    EXPECT_EQ(Saved(path), U("1\n00:00:00,000 --> 00:00:01,000\n开场\n\n"
                             "2\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                             "3\n00:00:02,000 --> 00:00:03,000\n插入\n\n"
                             "4\n00:00:05,000 --> 00:00:06,000\nB\n\n"));
}

TEST_F(SurtitleEditingTest, BlankRowsAreNoLinesToChangeAndDeletingACueOpensAGap) {
    const QString path = Open(QStringLiteral("a.ass"),
                              U("[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
                                "MarginR, MarginV, Effect, Text\n"
                                "Dialogue: 0,0:00:01.00,0:00:02.00,Top,,0,0,0,,A\n"
                                "Dialogue: 0,0:00:02.00,0:00:03.00,Top,,0,0,0,,B\n"));
    EXPECT_EQ(editing.Modify(2), EditOutcome{});
    EXPECT_EQ(editing.Delete(2), EditOutcome{});
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList(2, EditingTexts::kBlankRowOfSurtitles));
    EXPECT_FALSE(session.document().modified);

    op.yesNoAnswers.push_back(true);
    EXPECT_EQ(editing.Delete(1), (EditOutcome{true, -1}));
    EXPECT_EQ(Rows(session.lines()), (QStringList{U("[00:01.00] A"), U("[00:02.00]")}));
    // A new cue takes the style and margins of the cue before it.
    dialogs.lineAnswers.push_back(U("新, 句"));
    EXPECT_EQ(editing.Insert(1), (EditOutcome{true, 1}));
    EXPECT_EQ(Saved(path), U("[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, "
                             "MarginV, Effect, Text\n"
                             "Dialogue: 0,0:00:01.00,0:00:02.00,Top,,0,0,0,,A\n"
                             "Dialogue: 0,0:00:02.00,0:00:03.00,Top,,0,0,0,,新, 句\n"));
}

TEST_F(SurtitleEditingTest, RecordingMovesStartsAndEndsAndKeepsTheRowsInPlace) {
    const QString path = Open(QStringLiteral("a.srt"),
                              U("1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                "2\n00:00:02,000 --> 00:00:03,000\nB\n\n"
                                "3\n00:00:05,000 --> 00:00:06,000\nC\n"),
                              TextEncoding::Gbk);
    ASSERT_EQ(Rows(session.lines()),
              (QStringList{U("[00:01.00] A"), U("[00:02.00] B"), U("[00:03.00]"), U("[00:05.00] C"),
                           U("[00:06.00]")}));
    // B later: it keeps its length, and A, shown right before it, runs up to it.
    ASSERT_TRUE(session.StampTime(1, 2.5));
    // B's blank: B's end.
    ASSERT_TRUE(session.StampTime(2, 7.25));
    EXPECT_EQ(Rows(session.lines()),
              (QStringList{U("[00:01.00] A"), U("[00:02.50] B"), U("[00:07.25]"), U("[00:05.00] C"),
                           U("[00:06.00]")}));
    EXPECT_TRUE(session.document().modified);
    EXPECT_EQ(Saved(path), U("1\n00:00:01,000 --> 00:00:02,500\nA\n\n"
                             "2\n00:00:02,500 --> 00:00:07,250\nB\n\n"
                             "3\n00:00:05,000 --> 00:00:06,000\nC\n\n"));
    EXPECT_EQ(DecodeScriptText(TempDir::read(path)).encoding, TextEncoding::Gbk);
    // Rebuilt, the rows are in time order again and the overlap shows.
    session.RebuildLineList();
    EXPECT_EQ(Rows(session.lines()), (QStringList{U("[00:01.00] A"), U("[00:02.50] B"),
                                                  U("[00:05.00] C"), U("[00:06.00]")}));
}

TEST_F(SurtitleEditingTest, ImportAndWholeTextEditing) {
    const QString path =
        Open(QStringLiteral("a.srt"), U("NOTE from the translator\n\n"
                                        "1\n00:00:09,000 --> 00:00:10,000\nold\n"));
    const QString script =
        dir.write(QStringLiteral("script.txt"), EncodeGbk(U("　第一句\r\n\r\n第二句  \r\n")));
    op.openAnswers.push_back(script);
    EXPECT_EQ(editing.Import(), (EditOutcome{true, -1}));
    EXPECT_EQ(Rows(session.lines()),
              (QStringList{U("[00:00.00] 第一句"), U("[00:01.00] 第二句"), U("[00:02.00]")}));
    // The whole-text editor shows the file itself; its text is read again.
    dialogs.scriptAnswers.push_back(U("1\n00:00:03,000 --> 00:00:04,000\n改过的"));
    EXPECT_EQ(editing.EditWhole(), (EditOutcome{true, -1}));
    ASSERT_EQ(dialogs.scriptsShown.size(), 1);
    EXPECT_EQ(dialogs.scriptsShown[0],
              (QStringList{U("NOTE from the translator"), QString(), U("1"),
                           U("00:00:00,000 --> 00:00:01,000"), U("第一句"), QString(), U("2"),
                           U("00:00:01,000 --> 00:00:02,000"), U("第二句"), QString()}));
    EXPECT_EQ(Rows(session.lines()), (QStringList{U("[00:03.00] 改过的"), U("[00:04.00]")}));
    EXPECT_EQ(Saved(path), U("1\n00:00:03,000 --> 00:00:04,000\n改过的\n"));
}

TEST(SurtitleSession, AccentsThatLookLikeGbkStayUtf8) {
    TempDir dir;
    SettingsStore settings;
    DocumentSession session(settings);
    // Every accent here is a two-byte sequence that is also a GB2312 pair.
    const QByteArray bytes = U("1\n00:00:01,000 --> 00:00:02,000\nPerché è così\n").toUtf8();
    const QString path = dir.write(QStringLiteral("tosca.srt"), bytes);
    ASSERT_TRUE(session.Load(path));
    EXPECT_EQ(session.document().encoding, TextEncoding::Utf8);
    EXPECT_EQ(session.lines()[0].Text, U("Perché è così"));
    ASSERT_TRUE(session.StampTime(1, 2.5));
    ASSERT_TRUE(session.Save());
    EXPECT_EQ(TempDir::read(path),
              U("1\n00:00:01,000 --> 00:00:02,500\nPerché è così\n\n").toUtf8());
}

TEST(SurtitleSession, ChangesOnDiskAreTheOnesOtherProgramsMake) {
    TempDir dir;
    SettingsStore settings;
    DocumentSession session(settings);
    const QString path = dir.write(QStringLiteral("a.srt"),
                                   QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\n"));
    ASSERT_TRUE(session.Load(path));
    EXPECT_FALSE(session.ChangedOnDisk());
    // The station's own save is no outside change.
    ASSERT_TRUE(session.StampTime(0, 1.5));
    ASSERT_TRUE(session.Save());
    EXPECT_FALSE(session.ChangedOnDisk());

    dir.write(QStringLiteral("a.srt"), QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nB\r\n"));
    EXPECT_TRUE(session.ChangedOnDisk());
    session.AcceptDiskState();
    EXPECT_FALSE(session.ChangedOnDisk());
    dir.write(QStringLiteral("a.srt"), QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nC\r\n"));
    ASSERT_TRUE(session.Reload());
    EXPECT_EQ(session.lines()[0].Text, U("C"));
    EXPECT_FALSE(session.ChangedOnDisk());
    // A file that is gone for the moment (an editor replacing it) is no change.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(session.ChangedOnDisk());
}

TEST(SurtitleSession, ReloadingAProjectBlanksNoScreen) {
    TempDir dir;
    SettingsStore settings;
    DocumentSession session(settings);
    struct Hooks : DocumentViewHooks {
        int loaded = 0;
        int blanked = 0;
        void DocumentLoaded(DocumentKind) override { ++loaded; }
        void RenderEmptyRows() override { ++blanked; }
    } hooks;
    session.setViewHooks(&hooks);
    dir.write(QStringLiteral("show.lpf"), EncodeGbk(U("[Content]\r\n第一幕\r\n")));
    ASSERT_TRUE(session.Load(dir.file(QStringLiteral("show.lpf"))));
    EXPECT_EQ(hooks.blanked, 1);
    dir.write(QStringLiteral("show.lpf"), EncodeGbk(U("[Content]\r\n第二幕\r\n")));
    ASSERT_TRUE(session.Reload());
    EXPECT_EQ(hooks.blanked, 1);
    EXPECT_EQ(hooks.loaded, 2);
    EXPECT_EQ(session.lines()[0].Text, U("第二幕"));
}

} // namespace
