// The station's command line: its home and the link options.
#include "ui/StationOptions.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

StationOptionsParse Parse(const QStringList& args, const QProcessEnvironment& env = {}) {
    return ParseStationOptions(QStringList{QStringLiteral("subtitle-station")} + args, env,
                               QStringLiteral("/opt/station"));
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
        {{}, true, false, QStringLiteral("/opt/station")},
        {{QStringLiteral("--home"), dir.path()}, true, false, dir.path()},
        {{QStringLiteral("--home"), dir.file(QStringLiteral("missing"))}, false, false, {}},
        {{QStringLiteral("--link-local"), lo, QStringLiteral("--link-target"), lo},
         true,
         true,
         QStringLiteral("/opt/station")},
        // A loopback listener that still broadcasts would reach the real network.
        {{QStringLiteral("--link-local"), lo}, true, false, QStringLiteral("/opt/station")},
        {{QStringLiteral("--link-target"), lo}, true, false, QStringLiteral("/opt/station")},
        {{QStringLiteral("--link-local=127.0.0.1,127.0.0.2"),
          QStringLiteral("--link-target=127.0.0.1"), QStringLiteral("--link-port-offset=77"),
          QStringLiteral("--home"), dir.path()},
         true,
         true,
         dir.path()},
        {{QStringLiteral("--link-port-offset"), QStringLiteral("99999")}, false, false, {}},
        {{QStringLiteral("show.lft")}, false, false, {}},
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
    EXPECT_TRUE(Parse({}).options.remote == RemoteOverrides());
    EXPECT_TRUE(StationUsage().contains(QStringLiteral("--osc-port")));
}
