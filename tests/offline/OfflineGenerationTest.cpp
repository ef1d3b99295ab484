// Offline subtitle files generated from playlists, read back with the tests'
// own reader: script table, record chain, headers and pictures.
#include "OfflineFileReader.h"

#include "offline/DocumentReplay.h"
#include "offline/OfflineGeneration.h"
#include "offline/OfflineRecords.h"

#include "core/TextFiles.h"
#include "link/FrameEncoding.h"
#include "link/LiveTestSupport.h"
#include "render/LastFrameSink.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values) {
        bytes.append(static_cast<char>(v));
    }
    return bytes;
}

class OfflineGenerationTest : public ::testing::Test {
protected:
    OfflineGenerationTest() : link(LinkConfig::Loopback(0)), worker(link) {}

    // Every screen off; each test turns on what it needs, in both records
    // (a plain text or lyric file takes the stored settings).
    void Screen(ScreenId screen, int width, int height, int style, int effect = 0) {
        for (TSettings* s : {&settings.StoredSettings, &settings.ActiveSettings}) {
            TScreenParams& p = s->screen(screen);
            p.ScreenKind = true;
            p.ScreenWidth = width;
            p.ScreenHeight = height;
            p.ScreenStyle = style;
            p.Flash = screen == ScreenId::s ? 2 : 1;
            TTextEffect& e = s->effect(screen);
            e.Effect = effect;
            e.Speed = 4 + ScreenIndex(screen);
            e.RollStay = 2;
            e.AutoSize = 1;
        }
    }
    void SetUp() override {
        for (TSettings* s : {&settings.StoredSettings, &settings.ActiveSettings}) {
            for (ScreenId screen : kAllScreens) {
                s->screen(screen).ScreenKind = false;
            }
        }
    }
    QString Script(const QString& name, const QStringList& lines) {
        return home.write(name, JoinLinesGbk(lines));
    }
    QString Playlist(const QStringList& entries) {
        return home.write(QStringLiteral("show.lft"), JoinLinesGbk(entries));
    }
    IoStatus Generate(const QString& playlist) {
        DocumentReplay replay(settings, worker, op);
        EXPECT_TRUE(replay.OpenPlaylist(playlist));
        return GenerateOfflineSubtitles(worker, replay, settings.ActiveSettings,
                                        StationPaths(home.path()),
                                        [this](const QString& line) { log << line; });
    }
    QByteArray File(ScreenId screen) {
        return TempDir::read(home.file(QStringLiteral("data/") + SubtitleFileName(screen)));
    }
    // The frame the live path gets for these rows, as the cards show it.
    QImage LiveFrame(ScreenId screen, const QString& row1, const QString& row2) {
        QtRasteriser rasteriser;
        TextRenderer renderer(settings.ActiveSettings, rasteriser);
        LastFrameSink sink;
        renderer.SetFrameSink(&sink);
        EXPECT_FALSE(renderer.RenderSubtitle(screen, row1, row2).failed());
        return sink.frame();
    }

    TempDir home;
    SettingsStore settings;
    StationLink link;
    TLedThread worker;
    ScriptedOperator op;
    QStringList log;
};

TEST_F(OfflineGenerationTest, OnePlainTextOnOneSingleColourScreen) {
    Screen(ScreenId::h, 256, 32, 0);
    const QString text = Script(QStringLiteral("开场.txt"),
                                {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")});
    ASSERT_TRUE(Generate(Playlist({text})));

    const QByteArray bytes = File(ScreenId::h);
    ASSERT_EQ(bytes.size(), 4096 + 4 * (14 + 1024));
    EXPECT_EQ(bytes.left(4), Bytes({0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(bytes.mid(4, 4092), QByteArray(4092, '\xFF'));
    EXPECT_EQ(bytes.mid(4096, 8), Bytes({0x00, 0x10, 0x00, 0x00, 0x0E, 0x14, 0x00, 0x00}));
    EXPECT_EQ(bytes.mid(4096 + 1038, 8), Bytes({0x00, 0x10, 0x00, 0x00, 0x1C, 0x18, 0x00, 0x00}));
    const ReadOfflineFile file = ReadOffline(bytes);
    ASSERT_TRUE(file.chainOk);
    ASSERT_EQ(file.records.size(), 4u);
    // Title, then each row with the next as its second row.
    const QStringList rows1 = {QStringLiteral("剧本0:开场.txt"), QStringLiteral("甲"),
                               QStringLiteral("乙"), QStringLiteral("丙")};
    const QStringList rows2 = {QString(), QStringLiteral("乙"), QStringLiteral("丙"), QString()};
    for (int i = 0; i < 4; ++i) {
        const ReadRecord& record = file.records[size_t(i)];
        EXPECT_TRUE(record.checksumOk);
        EXPECT_EQ(record.extent, 256);
        EXPECT_EQ(DecodeRecordPicture(record.data, 256, 32, 1),
                  Thresholded(LiveFrame(ScreenId::h, rows1[i], rows2[i]), ColourKind::Single))
            << i;
    }
    // Nothing of the other screens.
    EXPECT_TRUE(File(ScreenId::s).isNull());
    EXPECT_EQ(log.first(), QStringLiteral("循环播放列表生成脱机数据文件"));
    EXPECT_EQ(log.mid(1, 4),
              (QStringList{QStringLiteral("写入剧本0文件名"), QStringLiteral("剧本0行0"),
                           QStringLiteral("剧本0行1"), QStringLiteral("剧本0行2")}));
    EXPECT_EQ(log.mid(5), (QStringList{QStringLiteral("写入所有剧本的开始地址"),
                                       QStringLiteral("全部数据处理完成")}));
}

TEST_F(OfflineGenerationTest, ThreeScreensAndEveryKindOfScript) {
    Screen(ScreenId::h, 256, 32, 1, 0);
    Screen(ScreenId::s, 32, 256, 1, 2);
    Screen(ScreenId::x, 192, 32, 0, 1);
    const QString text =
        Script(QStringLiteral("a.txt"), {QStringLiteral("第一句"), QStringLiteral("第二句")});
    const QString lyric = Script(QStringLiteral("b.lrc"),
                                 {QStringLiteral("[ti:歌]"), QStringLiteral("[00:01.00]月光"),
                                  QStringLiteral("[00:02.50]照在窗前")});
    // A project keeps the screens of this show.
    DocumentSession session(settings);
    session.SetLines({QStringLiteral("幕一"), QStringLiteral("幕二"), QStringLiteral("幕三")});
    const QString project = home.file(QStringLiteral("c.lpf"));
    ASSERT_TRUE(session.SaveProject(project));
    ASSERT_TRUE(Generate(Playlist({text, lyric, project})));

    struct Expected {
        ScreenId screen;
        int passes;
        int width, height; // card frame
        int effect;
    };
    for (const Expected& e :
         {Expected{ScreenId::h, 2, 256, 32, 0}, Expected{ScreenId::s, 2, 256, 32, 2},
          Expected{ScreenId::x, 1, 192, 32, 1}}) {
        const ReadOfflineFile file = ReadOffline(File(e.screen));
        ASSERT_TRUE(file.chainOk) << ScreenLetter(e.screen);
        // Title + 2 rows, title + 2 lines, title + blank + 3 rows.
        ASSERT_EQ(file.records.size(), 3u + 3u + 5u) << ScreenLetter(e.screen);
        EXPECT_EQ(file.table[0], file.records[0].offset);
        EXPECT_EQ(file.table[1], file.records[3].offset);
        EXPECT_EQ(file.table[2], file.records[6].offset);
        EXPECT_EQ(file.table[3], 0xFFFFFFFFu);
        for (const ReadRecord& record : file.records) {
            EXPECT_TRUE(record.checksumOk);
            EXPECT_EQ(record.effect, e.effect);
            EXPECT_EQ(record.speed, 4 + ScreenIndex(e.screen));
            EXPECT_EQ(record.stay, 2);
            EXPECT_GE(record.extent, e.width);
            if (e.effect == 0) {
                EXPECT_EQ(record.data.size(), e.passes * e.width * e.height / 8);
            }
        }
        // The project's blank record, and a lyric line as the live link shows it.
        const int passes = e.passes;
        const ReadRecord& blank = file.records[7];
        EXPECT_EQ(DecodeRecordPicture(blank.data, blank.extent, e.height, passes),
                  Thresholded(LiveFrame(e.screen, QString(), QString()),
                              passes == 2 ? ColourKind::Dual : ColourKind::Single));
        const ReadRecord& moon = file.records[4];
        const QImage live = LiveFrame(e.screen, QStringLiteral("月光"), QStringLiteral("照在窗前"));
        EXPECT_EQ(moon.extent, std::max(live.width(), e.width));
        EXPECT_EQ(DecodeRecordPicture(moon.data, live.width(), live.height(), passes),
                  Thresholded(live, passes == 2 ? ColourKind::Dual : ColourKind::Single));
    }
}

TEST_F(OfflineGenerationTest, EachRecordsExtentFollowsTheScreenSizeOfItsScript) {
    // A project made for smaller screens than the station's own.
    Screen(ScreenId::h, 128, 32, 1, 0);
    Screen(ScreenId::x, 96, 32, 0, 0);
    DocumentSession session(settings);
    session.SetLines({QStringLiteral("幕")});
    const QString project = home.file(QStringLiteral("small.lpf"));
    ASSERT_TRUE(session.SaveProject(project));
    Screen(ScreenId::h, 256, 32, 1, 0);
    Screen(ScreenId::x, 192, 32, 0, 0);
    const QString text = Script(QStringLiteral("t.txt"), {QStringLiteral("台")});
    ASSERT_TRUE(Generate(Playlist({project, text})));

    // Every record's extent is the width of its own picture: the project's
    // lines are 128 (96) wide, the text's 256 (192), as the settings in
    // force when each was drawn say.
    struct Expected {
        ScreenId screen;
        int passes, projectWidth, stationWidth;
    };
    for (const Expected& e :
         {Expected{ScreenId::h, 2, 128, 256}, Expected{ScreenId::x, 1, 96, 192}}) {
        const ReadOfflineFile file = ReadOffline(File(e.screen));
        ASSERT_TRUE(file.chainOk);
        QList<int> extents;
        for (const ReadRecord& record : file.records) {
            const int pictureWidth = int(record.data.size()) * 8 / (e.passes * 32);
            EXPECT_EQ(record.extent, pictureWidth) << ScreenLetter(e.screen);
            extents << record.extent;
        }
        EXPECT_TRUE(extents.contains(e.projectWidth)) << ScreenLetter(e.screen);
        EXPECT_EQ(extents.last(), e.stationWidth) << ScreenLetter(e.screen);
    }
}

TEST_F(OfflineGenerationTest, AScreenNotInUseKeepsItsOldFileAndAnEmptyPlaylistGivesTheTable) {
    Screen(ScreenId::s, 32, 256, 1);
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("data"))));
    const QByteArray old = "an older file of the small screen";
    home.write(QStringLiteral("data/zim_x.bin"), old);
    ASSERT_TRUE(Generate(Playlist({})));
    EXPECT_EQ(File(ScreenId::s), QByteArray(4096, '\xFF'));
    EXPECT_EQ(File(ScreenId::x), old);
    EXPECT_TRUE(File(ScreenId::h).isNull());
}

TEST_F(OfflineGenerationTest, LongLinesAndTheVerticalScreensExtent) {
    Screen(ScreenId::h, 256, 32, 1, 1); // scrolling: the whole line is one picture
    Screen(ScreenId::s, 32, 128, 0, 1);
    // A fixed character size: the line does not shrink to fit.
    for (TSettings* t : {&settings.StoredSettings, &settings.ActiveSettings}) {
        for (ScreenId screen : {ScreenId::h, ScreenId::s}) {
            t->effect(screen).AutoSize = 3;
        }
    }
    const QString longLine = QStringLiteral("这是一句需要滚动才能看完的长字幕");
    ASSERT_TRUE(Generate(Playlist({Script(QStringLiteral("l.txt"), {longLine})})));
    EXPECT_EQ(op.texts(QStringLiteral("inform")), QStringList());
    EXPECT_EQ(op.texts(QStringLiteral("error")), QStringList());
    const ReadOfflineFile h = ReadOffline(File(ScreenId::h));
    ASSERT_EQ(h.records.size(), 2u);
    const QImage live = LiveFrame(ScreenId::h, longLine, QString());
    ASSERT_GT(live.width(), 256);
    EXPECT_EQ(h.records[1].extent, live.width());
    // Whole passes: every pixel's bit is there, even when the width is not a
    // multiple of 8, and the green pass is complete.
    EXPECT_EQ(h.records[1].data.size(), 2 * ((live.width() * 32 + 7) / 8));
    EXPECT_EQ(DecodeRecordPicture(h.records[1].data, live.width(), 32, 2),
              Thresholded(live, ColourKind::Dual));

    const ReadOfflineFile s = ReadOffline(File(ScreenId::s));
    const QImage vertical = LiveFrame(ScreenId::s, longLine, QString());
    // Card orientation: the frame's width runs along the screen's height.
    EXPECT_EQ(s.records[1].extent, std::max(vertical.width(), 128));
    EXPECT_GT(s.records[1].extent, 128);
}

TEST(OfflineRecordHeader, ChecksumOfTheExample) {
    const RecordHeader header = OfflineRecordHeader(4096, 0x140E, FrameEffect{1, 8, 0}, 256);
    const QByteArray bytes(reinterpret_cast<const char*>(header.data()), 14);
    EXPECT_EQ(bytes, Bytes({0x00, 0x10, 0x00, 0x00, 0x0E, 0x14, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00,
                            0x01, 0x3C}));
    const RecordHeaderFields fields = ReadRecordHeader(header);
    EXPECT_TRUE(fields.checksumOk);
    EXPECT_EQ(fields.extent, 256);
}

TEST(OfflineRecordData, ColourKindsGiveOnePassPerColour) {
    QImage frame(16, 2, QImage::Format_RGB888);
    frame.fill(QColor(255, 255, 255));
    EXPECT_EQ(OfflineRecordData(frame, ColourKind::Single).size(), 4u);
    EXPECT_EQ(OfflineRecordData(frame, ColourKind::Dual).size(), 8u);
    const std::vector<std::uint8_t> full = OfflineRecordData(frame, ColourKind::Full);
    ASSERT_EQ(full.size(), 12u);
    EXPECT_EQ(full, std::vector<std::uint8_t>(12, 0xFF));
    frame.fill(QColor(0, 0, 255));
    const std::vector<std::uint8_t> blue = OfflineRecordData(frame, ColourKind::Full);
    EXPECT_EQ(std::vector<std::uint8_t>(blue.begin(), blue.begin() + 8),
              std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(blue.begin() + 8, blue.end()),
              std::vector<std::uint8_t>(4, 0xFF));
}

// A playlist of 1025 entries is more than the cards' table holds.
class CountingReplay final : public OfflineReplay {
public:
    int EntryCount() const override { return 1025; }
    QString EntryName(int) const override { return {}; }
    void SelectEntry(int) override { ++opened; }
    int RowCount() const override { return 0; }
    void SelectRow(int) override {}
    void RenderTitle(ScreenId, const QString&) override {}
    int opened = 0;
};

TEST_F(OfflineGenerationTest, FailuresLeaveTheOldFiles) {
    Screen(ScreenId::h, 256, 32, 0);
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("data"))));
    const QByteArray old = "the file of yesterday's show";
    home.write(QStringLiteral("data/zim_h.bin"), old);

    CountingReplay tooMany;
    const IoStatus refused = GenerateOfflineSubtitles(
        worker, tooMany, settings.ActiveSettings, StationPaths(home.path()), [](const QString&) {});
    EXPECT_FALSE(refused);
    EXPECT_EQ(tooMany.opened, 0);
    EXPECT_EQ(File(ScreenId::h), old);

    // A disk that fills up while the records are written.
    const QString text = Script(QStringLiteral("t.txt"),
                                {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")});
    const QString playlist = Playlist({text});
    IoStatus failed;
    {
        FileSizeLimit full(5000);
        failed = Generate(playlist);
    }
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.message.contains(QStringLiteral("zim_h.bin")))
        << failed.message.toStdString();
    EXPECT_EQ(File(ScreenId::h), old);
    EXPECT_EQ(QDir(home.file(QStringLiteral("data"))).entryList(QDir::Files),
              QStringList{QStringLiteral("zim_h.bin")});
    // And the frames go to the cards again afterwards.
    EXPECT_EQ(worker.linkScreen(ScreenId::h).sendRequest, false);
}

} // namespace
