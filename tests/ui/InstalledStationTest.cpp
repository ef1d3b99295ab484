// The station as a package installs it: the first start's choice between a
// rehearsal and the real network, the link kept in Config.ini, a file handed
// over by a file manager, the user's XDG places and no desktop shortcut
// beside the menu entry.
#include "StationFixture.h"
#include "support/Wait.h"

#include "ui/StartLink.h"

#include "core/DesktopEntry.h"
#include "core/IniFile.h"
#include "support/ScopedEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

class InstalledStationTest : public StationFixture {
protected:
    // Without link options: the stored link or the first start's choice decides.
    StationOptions Unlinked() const {
        StationOptions options;
        options.home = home();
        options.desktopDir = file(QStringLiteral("Desktop"));
        return options;
    }
    QString Resolve(StationOptions& options) {
        WidgetOperator op;
        return ResolveStartLink(options, op);
    }
    void WriteConfigText(const QString& text) const {
        QFile config(configPath());
        ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write(text.toUtf8());
    }
    QStringList Questions() const {
        QStringList asked;
        for (const QString& shown : answers().shown) {
            if (shown.startsWith(QLatin1String("choose:"))) {
                asked.append(shown);
            }
        }
        return asked;
    }

    // Files that are not the station's: playlists, stray pictures, a menu entry.
    TempDir m_config;
};

// A station for the real network whose target is a documentation range; no
// test here connects, so nothing is sent anywhere.
StationOptions RealNetwork(StationOptions options) {
    options.link = LinkConfig::Loopback(options.link.portOffset);
    options.link.target = *Ipv4Address::Parse(QStringLiteral("198.51.100.255"));
    return options;
}

} // namespace

TEST_F(InstalledStationTest, TheFirstStartAsksOnceAndARehearsalStaysOnLoopback) {
    struct Case {
        const char* name;
        int answer;
        bool rehearsal;
    };
    const Case cases[] = {
        {"rehearsal", 0, true},
        {"real network", 1, false},
        // Closing the question must not open the real network.
        {"dismissed", -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(configPath());
        answers().reset();
        answers().choices.push_back(c.answer);
        StationOptions first = Unlinked();
        ASSERT_EQ(Resolve(first), QString());
        ASSERT_EQ(Questions().size(), 1);
        EXPECT_TRUE(Questions().first().contains(kRehearsalChoice));
        EXPECT_EQ(first.linkOnLoopback(), c.rehearsal);
        if (c.rehearsal) {
            EXPECT_EQ(first.link.portOffset, kRehearsalPortOffset);
        } else {
            EXPECT_TRUE(first.link.localAddresses.empty()) << "every address of the machine";
            EXPECT_EQ(first.link.target, kBroadcast);
        }
        ASSERT_TRUE(QFileInfo::exists(configPath())) << "the choice is kept at once";

        // The next start takes the kept choice without asking.
        StationOptions next = Unlinked();
        ASSERT_EQ(Resolve(next), QString());
        EXPECT_EQ(Questions().size(), 1);
        EXPECT_EQ(next.linkOnLoopback(), c.rehearsal);
        EXPECT_EQ(next.link.portOffset, first.link.portOffset);
        EXPECT_EQ(next.link.target, first.link.target);

        const SettingsStore stored = ReadConfig();
        // A rehearsal has a screen and the card the virtual LED wall simulates.
        EXPECT_EQ(stored.StoredSettings.screen(ScreenId::h).ScreenKind, c.rehearsal);
        EXPECT_EQ(stored.cards(ScreenId::h).size(), c.rehearsal ? 1u : 0u);
        if (c.rehearsal) {
            EXPECT_TRUE(stored.cards(ScreenId::h).front().id.contains(kRehearsalCardMac));
        }
    }
}

TEST_F(InstalledStationTest, AStationWithAConfigIniUsesItsStoredLinkWithoutAsking) {
    struct Case {
        const char* name;
        QString linkSection; // empty: Config.ini has no [Link]
        bool ok;
        bool loopback;
        int offset;
    };
    const Case cases[] = {
        // A Config.ini from before the link was kept there: the real network as always.
        {"no section", QString(), true, false, 0},
        {"rehearsal", QStringLiteral("Local=127.0.0.1\nTarget=127.0.0.1\nPortOffset=77"), true,
         true, 77},
        {"empty values are the defaults", QStringLiteral("Local=\nTarget=\nPortOffset="), true,
         false, 0},
        {"loopback listener broadcasting", QStringLiteral("Local=127.0.0.1"), true, false, 0},
        // A station must not guess where its datagrams go.
        {"bad offset", QStringLiteral("Local=127.0.0.1\nTarget=127.0.0.1\nPortOffset=abc"), false,
         false, 0},
        {"bad address", QStringLiteral("Target=300.1.1.1"), false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString text = QStringLiteral("[Options]\nAutoPlayTimeFile=10\n");
        if (!c.linkSection.isEmpty()) {
            text += QStringLiteral("[Link]\n") + c.linkSection + QLatin1Char('\n');
        }
        WriteConfigText(text);
        StationOptions options = Unlinked();
        const QString error = Resolve(options);
        EXPECT_TRUE(answers().shown.isEmpty()) << answers().shown.join(u'|').toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok) << error.toStdString();
        if (!c.ok) {
            EXPECT_TRUE(error.contains(QStringLiteral("Config.ini [Link]"))) << error.toStdString();
            continue;
        }
        EXPECT_EQ(options.linkOnLoopback(), c.loopback);
        EXPECT_EQ(options.link.portOffset, c.offset);
    }
}

TEST_F(InstalledStationTest, LinkOptionsNeitherAskNorWrite) {
    StationOptions options = Options();
    options.linkGiven = true;
    ASSERT_EQ(Resolve(options), QString());
    EXPECT_TRUE(answers().shown.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(configPath()));
    EXPECT_TRUE(options.linkOnLoopback());
    EXPECT_EQ(options.link.portOffset, portOffset());
}

TEST_F(InstalledStationTest, StoredLinkRoundTripKeepsTheRestOfConfigIni) {
    SettingsStore store;
    store.Play.AutoPlayTimeFile = 42;
    WriteConfig(store);
    LinkConfig link = LinkConfig::Loopback(-123);
    link.localAddresses.push_back(*Ipv4Address::Parse(QStringLiteral("127.0.0.2")));
    ASSERT_TRUE(StoreLink(configPath(), link).ok);
    const LinkConfigParse read = ReadStoredLink(configPath());
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_TRUE(read.given);
    EXPECT_EQ(read.config.localAddresses, link.localAddresses);
    EXPECT_EQ(read.config.target, kLoopback);
    EXPECT_EQ(read.config.portOffset, -123);
    EXPECT_EQ(ReadConfig().Play.AutoPlayTimeFile, 42);
    // The station's own save keeps the section.
    ASSERT_TRUE(SaveConfig(ReadConfig(), configPath()).ok);
    EXPECT_EQ(ReadStoredLink(configPath()).config.portOffset, -123);

    ASSERT_TRUE(StoreLink(configPath(), LinkConfig{}).ok);
    const LinkConfigParse defaults = ReadStoredLink(configPath());
    EXPECT_FALSE(defaults.given) << "the defaults are written as empty values";
    EXPECT_TRUE(IniFile::FromFile(configPath()).hasSection(QStringLiteral("Link")));
}

TEST_F(InstalledStationTest, WithoutAHomeTheFirstStartWritesIntoTheUsersXdgPlaces) {
    ScopedEnvironment env;
    env.set("XDG_CONFIG_HOME", file(QStringLiteral("xdg-config")).toUtf8());
    env.set("XDG_DATA_HOME", file(QStringLiteral("xdg-data")).toUtf8());
    StationOptions options = Unlinked();
    options.home.clear();
    ASSERT_TRUE(options.paths().MakeDirectories());
    answers().choices.push_back(0);
    ASSERT_EQ(Resolve(options), QString());
    const QString config = file(QStringLiteral("xdg-config/subtitle-station/Config.ini"));
    EXPECT_TRUE(QFileInfo::exists(config));
    EXPECT_FALSE(QFileInfo::exists(configPath())) << "nothing in the home of other runs";
    EXPECT_EQ(ReadStoredLink(config).config.portOffset, kRehearsalPortOffset);
    EXPECT_TRUE(QFileInfo(file(QStringLiteral("xdg-data/subtitle-station"))).isDir());
}

TEST_F(InstalledStationTest, AFileFromTheCommandLineOpensAfterTheLastPlaylist) {
    const QString first =
        WriteLines(QStringLiteral("开场.txt"), {QStringLiteral("甲"), QStringLiteral("乙")});
    const QString second =
        WriteLines(QStringLiteral("谢幕.txt"),
                   {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")});
    const QString playlist = m_config.write(QStringLiteral("今晚.lft"), JoinLinesGbk({first}));
    const QString other = m_config.write(QStringLiteral("明晚.lft"), JoinLinesGbk({second, first}));
    SettingsStore store;
    store.Play.LastOpenFile = playlist;
    WriteConfig(store);

    // A script joins the list the operator had and is opened.
    StationOptions options = Options();
    options.openFile = second;
    TMainForm& w = Start(options);
    ASSERT_EVENTUALLY_EQ(w.playlist().count(), qsizetype(2), 10000);
    EXPECT_EQ(w.playlist().path(), playlist);
    ASSERT_EVENTUALLY_EQ(w.document().lines().size(), qsizetype(3), 10000);
    answers().yesNo.push_back(false); // the changed list is not saved
    w.close();
    ASSERT_TRUE(w.hasClosed());

    // A playlist replaces it, as 打开列表 does.
    options.openFile = other;
    TMainForm& again = Start(options);
    ASSERT_EVENTUALLY_EQ(again.playlist().path(), other, 10000);
    EXPECT_EQ(again.playlist().count(), qsizetype(2));
    ASSERT_EVENTUALLY_EQ(again.document().lines().size(), qsizetype(3), 10000);
    EXPECT_TRUE(answers().unanswered.isEmpty());
}

TEST_F(InstalledStationTest, AFileThatCannotBeOpenedIsReported) {
    struct Case {
        QString file;
        QString said;
    };
    const Case cases[] = {
        {file(QStringLiteral("不在.lft")), QStringLiteral("inform:找不到文件：")},
        {m_config.write(QStringLiteral("图.png"), QByteArrayLiteral("png")),
         QStringLiteral("inform:不支持该文件类型。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        answers().reset();
        StationOptions options = Options();
        options.openFile = c.file;
        TMainForm& w = Start(options);
        ASSERT_EVENTUALLY(std::any_of(answers().shown.begin(), answers().shown.end(),
                                      [&](const QString& s) { return s.startsWith(c.said); }),
                          10000);
        EXPECT_EQ(w.playlist().count(), 0);
        w.close();
    }
}

TEST_F(InstalledStationTest, AnInstalledStationLeavesTheDesktopToItsMenuEntry) {
    ScopedEnvironment env;
    env.set("XDG_CONFIG_HOME", file(QStringLiteral("xdg-config")).toUtf8());
    env.set("XDG_DATA_HOME", file(QStringLiteral("xdg-data")).toUtf8());
    env.set("XDG_DATA_DIRS", file(QStringLiteral("xdg-system")).toUtf8());
    const QString entry = file(QStringLiteral("Desktop/舞台字幕机.desktop"));
    StationOptions options = RealNetwork(Options());
    options.home.clear();
    ASSERT_TRUE(options.paths().MakeDirectories());

    // Not installed (no menu entry): the shortcut as before, without --home.
    TMainForm& plain = Start(options);
    ASSERT_TRUE(QFileInfo::exists(entry));
    EXPECT_FALSE(QString::fromUtf8(TempDir::read(entry)).contains(QStringLiteral("--home")));
    plain.close();
    QFile::remove(entry);

    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("xdg-system/applications"))));
    m_config.write(QStringLiteral("menu.desktop"), QByteArrayLiteral("[Desktop Entry]\n"));
    ASSERT_TRUE(QFile::copy(m_config.file(QStringLiteral("menu.desktop")),
                            file(QStringLiteral("xdg-system/applications/")) + kStationAppId +
                                QStringLiteral(".desktop")));
    EXPECT_FALSE(InstalledMenuEntry().isEmpty());
    TMainForm& installed = Start(options);
    EXPECT_FALSE(QFileInfo::exists(entry)) << "the menu has the station already";
    // The operator may still ask for one.
    find<QAction>(QStringLiteral("N6"))->trigger();
    EXPECT_TRUE(QFileInfo::exists(entry));
    installed.close();
    QFile::remove(entry);

    // A station with a home of its own is not what the menu entry opens.
    TMainForm& withHome = Start(RealNetwork(Options()));
    EXPECT_TRUE(QFileInfo::exists(entry));
    withHome.close();
}
