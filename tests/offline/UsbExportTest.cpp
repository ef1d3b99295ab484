// Copying the data files to a directory standing for a USB stick.
#include "offline/UsbExport.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

class UsbExportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("data")))); }
    void Data(const QString& name, const QByteArray& bytes) {
        home.write(QStringLiteral("data/") + name, bytes);
    }
    QStringList Export(const UsbOptions& options) {
        QStringList lines;
        ExportToUsb(StationPaths(home.path()), stick.path(), options,
                    [&lines](const QString& line) { lines << line; });
        return lines;
    }
    QStringList OnStick() const {
        return QDir(stick.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TempDir home;
    TempDir stick;
};

const QString kFat = QStringLiteral("请确认u盘为FAT或者FAT32文件系统，否则请格式化");

TEST_F(UsbExportTest, EveryGroupWithItsLogLines) {
    for (const char* name : {"cs_h.bin", "cs_s.bin", "cs_x.bin", "gg_h.bin", "gg_s.bin", "gg_x.bin",
                             "zim_h.bin", "zim_s.bin", "zim_x.bin"}) {
        Data(QString::fromLatin1(name), QByteArray(name) + " contents");
    }
    // An old file on the stick is overwritten.
    stick.write(QStringLiteral("zim_h.bin"), "yesterday");
    const QStringList lines = Export(UsbOptions{true, true, true});
    const QString separator(47, QLatin1Char('-'));
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("写入横屏参数成功!"), QStringLiteral("写入纵屏参数成功!"),
                           QStringLiteral("写入小屏参数成功!"), separator,
                           QStringLiteral("写入横屏广告成功!"), QStringLiteral("写入纵屏广告成功!"),
                           QStringLiteral("写入小屏广告成功!"), separator,
                           QStringLiteral("写入横屏字幕成功!"), QStringLiteral("写入纵屏字幕成功!"),
                           QStringLiteral("写入小屏字幕成功!"), separator, kFat}));
    EXPECT_EQ(OnStick().size(), 9);
    EXPECT_EQ(TempDir::read(stick.file(QStringLiteral("zim_h.bin"))), "zim_h.bin contents");
}

TEST_F(UsbExportTest, UncheckedGroupsAreRemovedAndMissingSourcesFail) {
    Data(QStringLiteral("zim_h.bin"), "subtitles of the horizontal screen");
    for (const char* name : {"cs_h.bin", "gg_h.bin", "gg_s.bin", "gg_x.bin"}) {
        stick.write(QString::fromLatin1(name), "old");
    }
    const QStringList lines = Export(UsbOptions{false, false, true});
    EXPECT_EQ(lines,
              (QStringList{QString(47, QLatin1Char('-')), QStringLiteral("写入横屏字幕成功!"),
                           QStringLiteral("写入纵屏字幕失败!"), QStringLiteral("写入小屏字幕失败!"),
                           QString(47, QLatin1Char('-')), kFat}));
    EXPECT_EQ(OnStick(), QStringList{QStringLiteral("zim_h.bin")});
}

TEST_F(UsbExportTest, AStickThatFillsUpHalfwayHoldsNoTruncatedFile) {
    Data(QStringLiteral("zim_h.bin"), QByteArray(3000, 'h'));
    Data(QStringLiteral("zim_s.bin"), QByteArray(9000, 's')); // more than the stick takes
    Data(QStringLiteral("zim_x.bin"), QByteArray(2000, 'x'));
    stick.write(QStringLiteral("zim_s.bin"), "the old vertical file");
    QStringList lines;
    {
        FileSizeLimit full(4096);
        lines = Export(UsbOptions{false, false, true});
    }
    EXPECT_EQ(lines.mid(1, 3),
              (QStringList{QStringLiteral("写入横屏字幕成功!"), QStringLiteral("写入纵屏字幕失败!"),
                           QStringLiteral("写入小屏字幕成功!")}));
    // The old file stays whole under its name; no half copy, no leftovers.
    EXPECT_EQ(TempDir::read(stick.file(QStringLiteral("zim_s.bin"))), "the old vertical file");
    EXPECT_EQ(OnStick(), (QStringList{QStringLiteral("zim_h.bin"), QStringLiteral("zim_s.bin"),
                                      QStringLiteral("zim_x.bin")}));
    EXPECT_EQ(TempDir::read(stick.file(QStringLiteral("zim_x.bin"))).size(), 2000);
}

TEST_F(UsbExportTest, AMissingStickOrAnEmptyBoxIsRefusedBeforeAnythingIsWritten) {
    Data(QStringLiteral("gg_h.bin"), "advert");
    const QString gone = stick.file(QStringLiteral("not-mounted"));
    // The working directory holds a file of a name the export would touch:
    // an unchecked group would delete it, a checked one overwrite it.
    TempDir working;
    working.write(QStringLiteral("zim_h.bin"), "someone else's file");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));
    struct Case {
        QString target;
        QString message;
    };
    for (const Case& c : {Case{gone, QStringLiteral("找不到U盘目录：") + gone},
                          Case{QString(), QStringLiteral("请先选择U盘")},
                          Case{QStringLiteral("  "), QStringLiteral("请先选择U盘")}}) {
        QStringList lines;
        ExportToUsb(StationPaths(home.path()), c.target, UsbOptions{false, true, false},
                    [&lines](const QString& line) { lines << line; });
        EXPECT_EQ(lines, QStringList{c.message}) << c.target.toStdString();
    }
    QDir::setCurrent(before);
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_EQ(QDir(working.path()).entryList(QDir::Files),
              QStringList{QStringLiteral("zim_h.bin")});
    EXPECT_EQ(TempDir::read(working.file(QStringLiteral("zim_h.bin"))), "someone else's file");
}

} // namespace
