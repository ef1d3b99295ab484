// The remotes' options: their own section of Config.ini, the command line of
// one run, and where they listen.
#include "remote/RemoteSettings.h"

#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(RemoteSettings, OffUnlessSwitchedOnAndTheSectionLeavesTheRestAlone) {
    TempDir dir;
    // An older Config.ini without the section: both remotes stay off.
    const QString config = dir.write(
        QStringLiteral("Config.ini"),
        JoinLinesGbk({QStringLiteral("[Options]"), QStringLiteral("LastOpenFile=演出.lft"),
                      QStringLiteral("; kept as written")}));
    const RemoteSettings loaded = LoadRemoteSettings(config);
    EXPECT_EQ(loaded, RemoteSettings());
    EXPECT_FALSE(loaded.oscEnabled);
    EXPECT_FALSE(loaded.webEnabled);

    RemoteSettings settings;
    settings.oscEnabled = true;
    settings.oscPort = 53000;
    settings.webEnabled = true;
    settings.webPort = 8081;
    settings.listen = {QStringLiteral("192.0.2.10"), QStringLiteral("127.0.0.1")};
    settings.pin = QStringLiteral("2468");
    settings.oscAllowed = {QStringLiteral("192.0.2.20")};
    ASSERT_TRUE(SaveRemoteSettings(config, settings).ok);
    EXPECT_EQ(LoadRemoteSettings(config), settings);
    const QString text = ReadTextFile(config).text;
    EXPECT_TRUE(text.contains(QStringLiteral("LastOpenFile=演出.lft")));
    EXPECT_TRUE(text.contains(QStringLiteral("; kept as written")));

    // Values nobody can use keep their defaults instead of half-working.
    dir.write(QStringLiteral("bad.ini"), "[Remote]\r\nOscEnabled=1\r\nOscPort=99999\r\n"
                                         "WebPort=http\r\nPin=12\r\n");
    const RemoteSettings bad = LoadRemoteSettings(dir.file(QStringLiteral("bad.ini")));
    EXPECT_TRUE(bad.oscEnabled);
    EXPECT_EQ(bad.oscPort, 9000);
    EXPECT_EQ(bad.webPort, 8080);
    EXPECT_TRUE(bad.pin.isEmpty());
}

TEST(RemoteSettings, CommandLineForOneRun) {
    struct Case {
        QStringList args;
        bool ok;
        RemoteOverrides overrides{};
        QStringList remaining{};
    };
    const QString lo = QStringLiteral("127.0.0.1");
    const Case cases[] = {
        {{}, true},
        {{QStringLiteral("--osc-port"), QStringLiteral("9000"), QStringLiteral("--home"),
          QStringLiteral("/x")},
         true,
         {9000, std::nullopt, {}, std::nullopt},
         {QStringLiteral("--home"), QStringLiteral("/x")}},
        {{QStringLiteral("--web-port=8080"), QStringLiteral("--remote-pin=123456")},
         true,
         {std::nullopt, 8080, {}, QStringLiteral("123456")}},
        {{QStringLiteral("--remote-listen"), lo, QStringLiteral("--remote-listen"),
          QStringLiteral("127.0.0.2,127.0.0.3")},
         true,
         {std::nullopt,
          std::nullopt,
          {lo, QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")},
          std::nullopt}},
        {{QStringLiteral("--osc-port"), QStringLiteral("70000")}, false},
        {{QStringLiteral("--osc-port")}, false},
        {{QStringLiteral("--web-port"), QStringLiteral("web")}, false},
        {{QStringLiteral("--remote-listen"), QStringLiteral("localhost")}, false},
        {{QStringLiteral("--remote-listen"), QStringLiteral("::1")}, false},
        {{QStringLiteral("--remote-pin"), QStringLiteral("12")}, false},
        {{QStringLiteral("--remote-pin"), QStringLiteral("12ab56")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const RemoteArgumentsParse parse = ParseRemoteArguments(c.args);
        EXPECT_EQ(parse.ok(), c.ok) << parse.error.toStdString();
        if (c.ok) {
            EXPECT_EQ(parse.overrides, c.overrides);
            EXPECT_EQ(parse.remaining, c.remaining);
        }
    }

    // The command line switches a remote on and wins over the options.
    RemoteSettings stored;
    stored.webPort = 8000;
    stored.listen = {QStringLiteral("192.0.2.1")};
    RemoteOverrides overrides;
    overrides.oscPort = 9100;
    overrides.listen = {lo};
    const RemoteSettings run = WithOverrides(stored, overrides);
    EXPECT_TRUE(run.oscEnabled);
    EXPECT_EQ(run.oscPort, 9100);
    EXPECT_FALSE(run.webEnabled);
    EXPECT_EQ(run.listen, QStringList{lo});
}

TEST(RemoteSettings, ListenAddressesAreChosenNeverEverywhereBySilence) {
    const std::vector<QHostAddress> show{QHostAddress(QStringLiteral("192.0.2.5"))};
    ListenAddresses listen = ResolveListenAddresses({}, show);
    EXPECT_EQ(listen.addresses, show);
    EXPECT_FALSE(listen.everywhere);

    listen =
        ResolveListenAddresses({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")}, show);
    ASSERT_EQ(listen.addresses.size(), 1u);
    EXPECT_EQ(listen.addresses[0], QHostAddress(QHostAddress::LocalHost));

    listen = ResolveListenAddresses({QStringLiteral("127.0.0.1"), QStringLiteral("0.0.0.0")}, show);
    EXPECT_TRUE(listen.everywhere);
    ASSERT_EQ(listen.addresses.size(), 1u);
    EXPECT_EQ(listen.addresses[0], QHostAddress(QHostAddress::AnyIPv4));

    // No show network and nothing chosen: nothing listens (and says why).
    listen = ResolveListenAddresses({}, {});
    EXPECT_TRUE(listen.addresses.empty());
    EXPECT_FALSE(listen.error.isEmpty());

    RemoteSettings settings;
    EXPECT_TRUE(CheckRemoteSettings(settings).isEmpty());
    settings.listen = {QStringLiteral("300.1.1.1")};
    EXPECT_FALSE(CheckRemoteSettings(settings).isEmpty());
    settings.listen.clear();
    settings.pin = QStringLiteral("abc");
    EXPECT_FALSE(CheckRemoteSettings(settings).isEmpty());

    const QString pin = GeneratePin();
    EXPECT_TRUE(IsValidPin(pin)) << pin.toStdString();
    EXPECT_EQ(pin.size(), 6);
}
