// The station's command line: its home, the link options and a file to open.
#include "ui/StationOptions.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

StationOptionsParse Parse(const QStringList& args, const QProcessEnvironment& env = {}) {
    return ParseStationOptions(QStringList{QStringLiteral("subtitle-station")} + args, env);
}

} // namespace

TEST(StationOptions, HomeAndLinkOptions) {
    TempDir dir;
    struct Case {
        QStringList args;
        bool ok;
        bool loopback;
        QString home;
    };
    const QString lo = QStringLiteral("127.0.0.1");
    const Case cases[] = {
        // No --home: the user's XDG places.
        {{}, true, false, QString()},
        {{QStringLiteral("--home"), dir.path()}, true, false, dir.path()},
        {{QStringLiteral("--home"), dir.file(QStringLiteral("missing"))}, false, false, {}},
        {{QStringLiteral("--link-local"), lo, QStringLiteral("--link-target"), lo},
         true,
         true,
         QString()},
        // A loopback listener that still broadcasts would reach the real network.
        {{QStringLiteral("--link-local"), lo}, true, false, QString()},
        {{QStringLiteral("--link-target"), lo}, true, false, QString()},
        {{QStringLiteral("--link-local=127.0.0.1,127.0.0.2"),
          QStringLiteral("--link-target=127.0.0.1"), QStringLiteral("--link-port-offset=77"),
          QStringLiteral("--home"), dir.path()},
         true,
         true,
         dir.path()},
        {{QStringLiteral("--link-port-offset"), QStringLiteral("99999")}, false, false, {}},
        {{QStringLiteral("show.lft"), QStringLiteral("other.lft")}, false, false, {}},
        {{QStringLiteral("--frobnicate")}, false, false, {}},
    };
    for (const Case& c : cases) {
        const StationOptionsParse parsed = Parse(c.args);
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        EXPECT_EQ(parsed.ok(), c.ok) << parsed.error.toStdString();
        if (c.ok) {
            EXPECT_EQ(parsed.options.linkOnLoopback(), c.loopback);
            EXPECT_EQ(parsed.options.home, c.home);
        } else {
            EXPECT_FALSE(parsed.error.isEmpty());
        }
    }
    const StationOptionsParse offset = Parse({QStringLiteral("--link-port-offset=77")});
    EXPECT_EQ(offset.options.link.portOffset, 77);
    EXPECT_TRUE(Parse({QStringLiteral("--help")}).help);
    EXPECT_TRUE(Parse({QStringLiteral("--version")}).version);
}

TEST(StationOptions, AFileToOpenAndWhetherTheLinkWasGiven) {
    TempDir dir;
    const StationOptionsParse none = Parse({});
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.options.openFile.isEmpty());
    EXPECT_FALSE(none.options.linkGiven) << "the stored link applies";

    // A relative name is taken from where the station was started; a
    // launcher's file:// URL becomes its path.
    const StationOptionsParse relative = Parse({QStringLiteral("今晚.lft")});
    ASSERT_TRUE(relative.ok());
    EXPECT_EQ(relative.options.openFile,
              QDir::current().absoluteFilePath(QStringLiteral("今晚.lft")));
    const QString path = dir.file(QStringLiteral("谢幕 版.lpf"));
    const StationOptionsParse url =
        Parse({QUrl::fromLocalFile(path).toString(), QStringLiteral("--home"), dir.path()});
    ASSERT_TRUE(url.ok()) << url.error.toStdString();
    EXPECT_EQ(url.options.openFile, path);
    EXPECT_EQ(url.options.home, dir.path());

    const StationOptionsParse offset = Parse({QStringLiteral("--link-port-offset=5")});
    EXPECT_TRUE(offset.options.linkGiven);
    QProcessEnvironment env;
    env.insert(QStringLiteral("STATION_LINK_TARGET"), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(Parse({}, env).options.linkGiven);
}

TEST(StationOptions, PathsAreTheHomeOrTheUsersXdgPlaces) {
    TempDir dir;
    StationOptions withHome;
    withHome.home = dir.path();
    EXPECT_EQ(withHome.paths().configFile(), dir.file(QStringLiteral("Config.ini")));
    EXPECT_EQ(withHome.paths().dataDir(), dir.file(QStringLiteral("data")));

    ScopedEnvironment env;
    env.set("XDG_CONFIG_HOME", dir.file(QStringLiteral("config")).toUtf8());
    env.set("XDG_DATA_HOME", dir.file(QStringLiteral("share")).toUtf8());
    const StationPaths user = StationOptions{}.paths();
    EXPECT_TRUE(user.home().isEmpty());
    EXPECT_EQ(user.configFile(), dir.file(QStringLiteral("config/subtitle-station/Config.ini")));
    EXPECT_EQ(user.dataFile(QStringLiteral("zim_h.bin")),
              dir.file(QStringLiteral("share/subtitle-station/zim_h.bin")));
    EXPECT_TRUE(user.MakeDirectories());
    EXPECT_TRUE(QFileInfo(user.configDir()).isDir());
    EXPECT_TRUE(QFileInfo(user.dataDir()).isDir());
}

TEST(StationOptions, EnvironmentKeepsTheLinkOnLoopbackAndTheCommandLineWins) {
    QProcessEnvironment env;
    env.insert(QStringLiteral("STATION_LINK_LOCAL"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("STATION_LINK_TARGET"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("STATION_LINK_PORT_OFFSET"), QStringLiteral("500"));
    const StationOptionsParse fromEnv = Parse({}, env);
    ASSERT_TRUE(fromEnv.ok());
    EXPECT_TRUE(fromEnv.options.linkOnLoopback());
    EXPECT_EQ(fromEnv.options.link.portOffset, 500);
    const StationOptionsParse overridden =
        Parse({QStringLiteral("--link-port-offset"), QStringLiteral("9")}, env);
    EXPECT_EQ(overridden.options.link.portOffset, 9);
}

TEST(StationOptions, RemoteOptionsForOneRun) {
    TempDir dir;
    const StationOptionsParse parsed = Parse(
        {QStringLiteral("--osc-port"), QStringLiteral("9000"), QStringLiteral("--home"), dir.path(),
         QStringLiteral("--remote-listen=127.0.0.1"), QStringLiteral("--link-local"),
         QStringLiteral("127.0.0.1"), QStringLiteral("--remote-pin"), QStringLiteral("2468")});
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.home, dir.path());
    EXPECT_EQ(parsed.options.remote.oscPort, 9000);
    EXPECT_FALSE(parsed.options.remote.webPort.has_value());
    EXPECT_EQ(parsed.options.remote.listen, QStringList{QStringLiteral("127.0.0.1")});
    EXPECT_EQ(parsed.options.remote.pin, QStringLiteral("2468"));
    EXPECT_EQ(parsed.options.link.localAddresses.size(), 1u);

    EXPECT_FALSE(Parse({QStringLiteral("--web-port"), QStringLiteral("eighty")}).ok());
    EXPECT_FALSE(Parse({}).options.remote.any());
    EXPECT_TRUE(StationUsage().contains(QStringLiteral("--osc-port")));
}

TEST(StationOptions, OutputOptionsForOneRun) {
    const StationOptionsParse parsed =
        Parse({QStringLiteral("--ddp"), QStringLiteral("h=127.0.0.1:4050"),
               QStringLiteral("--monitor=x=STAGE,confidence"), QStringLiteral("--osc-port"),
               QStringLiteral("9000"), QStringLiteral("--ddp=h=127.0.0.2")});
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    const OutputOverrides& outputs = parsed.options.outputs;
    ASSERT_TRUE(outputs.ddp[0].has_value());
    EXPECT_EQ(*outputs.ddp[0],
              (std::vector<DdpReceiver>{{0x7F000001u, 4050}, {0x7F000002u, 4048}}));
    EXPECT_FALSE(outputs.ddp[1].has_value());
    ASSERT_TRUE(outputs.monitor[2].has_value());
    EXPECT_EQ(outputs.monitor[2]->name, QStringLiteral("STAGE"));
    EXPECT_EQ(outputs.monitor[2]->layout, MonitorLayout::Confidence);
    EXPECT_EQ(parsed.options.remote.oscPort, 9000);

    for (const char* bad : {"--ddp=h", "--monitor=q=STAGE", "--monitor=h=", "--ddp=x=1.2.3.4:0"}) {
        EXPECT_FALSE(Parse({QString::fromLatin1(bad)}).ok()) << bad;
    }
    EXPECT_TRUE(StationUsage().contains(QStringLiteral("--ddp SCREEN=ADDR[:PORT]")));
    EXPECT_TRUE(StationUsage().contains(QStringLiteral("--monitor")));
}
