#include "ui/AboutForm.h"
#include "ui/HelpFile.h"

#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStringDecoder>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString AllLabelText(const QWidget& form) {
    QStringList texts;
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    return texts.join(QLatin1Char('\n'));
}

TEST(AboutFormTest, ShowsNameVersionsAndLicences) {
    TAboutForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("关于"));
    EXPECT_TRUE(form.isModal());

    const QString text = AllLabelText(form);
    EXPECT_TRUE(text.contains(QStringLiteral("舞台字幕控制系统")));
    EXPECT_TRUE(text.contains(QStringLiteral(STATION_VERSION)));
    EXPECT_TRUE(text.contains(QString::fromLatin1(qVersion())));

    const std::pair<const char*, const char*> required[] = {
        {"Qt 6", "LGPL-3.0"},
        {"libmpg123", "LGPL-2.1"},
        {"kissfft", "BSD-3-Clause"},
        {"AR PL UMing", "Arphic Public License"},
        {"WenQuanYi Zen Hei", "GPL-2.0"},
    };
    const auto components = TAboutForm::Components();
    ASSERT_EQ(components.size(), std::size(required));
    for (size_t i = 0; i < components.size(); ++i) {
        const QString name = QString::fromUtf8(required[i].first);
        const QString licence = QString::fromUtf8(required[i].second);
        EXPECT_TRUE(components[i].name.startsWith(name)) << components[i].name.toStdString();
        EXPECT_TRUE(components[i].licence.startsWith(licence))
            << components[i].licence.toStdString();
        EXPECT_TRUE(text.contains(name)) << required[i].first;
        EXPECT_TRUE(text.contains(licence)) << required[i].second;
    }
    // The font exception is what lets the station draw with Zen Hei freely.
    EXPECT_TRUE(components.back().licence.contains(QStringLiteral("字体嵌入例外")));
}

TEST(AboutFormTest, OkCloses) {
    TAboutForm form;
    form.show();
    auto* ok = form.findChild<QPushButton*>(QStringLiteral("ButtonOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(HelpFileTest, HomeCopyWinsThenTheExecutableDirectory) {
    struct Case {
        const char* name;
        bool inHome;
        bool inExecutable;
        const char* expected; // "home", "exe" or ""
    };
    const Case cases[] = {
        {"both", true, true, "home"},
        {"home only", true, false, "home"},
        {"executable only", false, true, "exe"},
        {"neither", false, false, ""},
    };
    for (const Case& c : cases) {
        TempDir home;
        TempDir exe;
        if (c.inHome) {
            home.write(kHelpFileName, QByteArrayLiteral("<html>home</html>"));
        }
        if (c.inExecutable) {
            exe.write(kHelpFileName, QByteArrayLiteral("<html>exe</html>"));
        }
        const QString found = FindHelpFile(home.path(), exe.path());
        const QString expected =
            QString::fromLatin1(c.expected) == QStringLiteral("home")  ? home.file(kHelpFileName)
            : QString::fromLatin1(c.expected) == QStringLiteral("exe") ? exe.file(kHelpFileName)
                                                                       : QString();
        EXPECT_EQ(QDir::cleanPath(found), QDir::cleanPath(expected)) << c.name;
    }
}

TEST(HelpFileTest, AnInstalledStationFindsItsManualInItsSharedFiles) {
    TempDir prefix;
    ASSERT_TRUE(QDir().mkpath(prefix.file(QStringLiteral("bin"))));
    ASSERT_TRUE(QDir().mkpath(prefix.file(QStringLiteral("share/subtitle-station"))));
    const QString manual =
        prefix.write(QStringLiteral("share/subtitle-station/") + kHelpFileName, "<html></html>");
    EXPECT_EQ(QDir::cleanPath(FindHelpFile(QString(), prefix.file(QStringLiteral("bin")))),
              QDir::cleanPath(manual));
    // A home's own copy still comes first.
    TempDir home;
    home.write(kHelpFileName, "<html>home</html>");
    EXPECT_EQ(FindHelpFile(home.path(), prefix.file(QStringLiteral("bin"))),
              home.file(kHelpFileName));
}

TEST(HelpFileTest, NeitherAnEmptyHomeNorADirectoryOfThatNameCounts) {
    TempDir home;
    TempDir exe;
    ASSERT_TRUE(QDir(home.path()).mkdir(kHelpFileName));
    EXPECT_TRUE(FindHelpFile(home.path(), exe.path()).isEmpty());

    exe.write(kHelpFileName, QByteArrayLiteral("<html></html>"));
    EXPECT_EQ(FindHelpFile(home.path(), exe.path()), exe.file(kHelpFileName));
    EXPECT_EQ(FindHelpFile(QString(), exe.path()), exe.file(kHelpFileName));
    EXPECT_TRUE(FindHelpFile(QString(), QString()).isEmpty());
}

TEST(HelpFileTest, ManualIsUtf8AndCoversKeysAndPlayModes) {
    const QString path = QDir(QStringLiteral(STATION_HELP_SOURCE_DIR)).filePath(kHelpFileName);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = file.readAll();
    ASSERT_FALSE(bytes.isEmpty());

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString html = decoder.decode(bytes);
    ASSERT_FALSE(decoder.hasError()) << "the manual is not valid UTF-8";
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << "no byte order mark before <!DOCTYPE>";
    EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">"), Qt::CaseInsensitive));

    QStringList required;
    for (int key = 1; key <= 6; ++key) {
        required.append(QStringLiteral("F%1").arg(key));
    }
    required += {QStringLiteral("单个文件一次播放"),  QStringLiteral("单个文件循环播放"),
                 QStringLiteral("列表文件一次播放"),  QStringLiteral("列表文件循环播放"),
                 QStringLiteral("Page Up"),           QStringLiteral("Page Down"),
                 QStringLiteral("手动播放控制"),      QStringLiteral("通讯监测"),
                 QStringLiteral("连接断开后自动播放")};
    for (const QString& text : required) {
        EXPECT_TRUE(html.contains(text)) << text.toStdString();
    }
}

} // namespace
