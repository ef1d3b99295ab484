#include "link/LinkConfig.h"

#include <gtest/gtest.h>

namespace {

QProcessEnvironment Env(std::initializer_list<std::pair<const char*, const char*>> vars) {
    QProcessEnvironment env;
    for (const auto& [name, value] : vars) {
        env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    return env;
}

QStringList Args(std::initializer_list<const char*> args) {
    QStringList list;
    for (const char* a : args) {
        list << QString::fromLatin1(a);
    }
    return list;
}

} // namespace

TEST(LinkConfigTest, DefaultsArePortsAndBroadcast) {
    const LinkConfigParse parsed = ParseLinkConfig({}, QProcessEnvironment());
    ASSERT_TRUE(parsed.ok());
    const LinkConfig& c = parsed.config;
    EXPECT_TRUE(c.localAddresses.empty());
    EXPECT_EQ(c.target, kBroadcast);
    EXPECT_EQ(c.target.toString(), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(c.StationPort(ScreenId::h), 50001);
    EXPECT_EQ(c.StationPort(ScreenId::s), 50002);
    EXPECT_EQ(c.StationPort(ScreenId::x), 50003);
    EXPECT_EQ(c.CardPort(ScreenId::h), 60001);
    EXPECT_EQ(c.CardPort(ScreenId::s), 60002);
    EXPECT_EQ(c.CardPort(ScreenId::x), 60003);
}

TEST(LinkConfigTest, OptionsInBothFormsAndRemainingArguments) {
    const LinkConfigParse parsed = ParseLinkConfig(
        Args({"station", "--home", "/tmp/x", "--link-local", "127.0.0.1,127.0.0.2,127.0.0.1",
              "--link-target=127.0.0.1", "--link-port-offset", "-30000", "file.lft"}),
        QProcessEnvironment());
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.config.localAddresses,
              (std::vector<Ipv4Address>{kLoopback, Ipv4Address{0x7F000002}}));
    EXPECT_EQ(parsed.config.target, kLoopback);
    EXPECT_EQ(parsed.config.portOffset, -30000);
    EXPECT_EQ(parsed.config.StationPort(ScreenId::s), 20002);
    EXPECT_EQ(parsed.config.CardPort(ScreenId::x), 30003);
    EXPECT_EQ(parsed.remaining, Args({"station", "--home", "/tmp/x", "file.lft"}));
}

TEST(LinkConfigTest, EnvironmentAndCommandLinePrecedence) {
    const auto env = Env({{"STATION_LINK_LOCAL", "127.0.0.1"},
                          {"STATION_LINK_TARGET", "127.0.0.9"},
                          {"STATION_LINK_PORT_OFFSET", "7"}});
    const LinkConfigParse fromEnv = ParseLinkConfig({}, env);
    ASSERT_TRUE(fromEnv.ok());
    EXPECT_EQ(fromEnv.config.localAddresses, std::vector<Ipv4Address>{kLoopback});
    EXPECT_EQ(fromEnv.config.target, Ipv4Address{0x7F000009});
    EXPECT_EQ(fromEnv.config.portOffset, 7);
    const LinkConfigParse both = ParseLinkConfig(Args({"--link-port-offset=9"}), env);
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(both.config.portOffset, 9);
    EXPECT_EQ(both.config.target, Ipv4Address{0x7F000009});
}

TEST(LinkConfigTest, BadValuesAreNamed) {
    struct Case {
        QStringList args;
        QProcessEnvironment env;
        const char* mentions;
    };
    const Case cases[] = {
        {Args({"--link-local", "127.0.0.300"}), {}, "127.0.0.300"},
        {Args({"--link-local", ","}), {}, "--link-local"},
        {Args({"--link-target", "localhost"}), {}, "localhost"},
        {Args({"--link-port-offset", "abc"}), {}, "abc"},
        {Args({"--link-port-offset", "6000"}), {}, "6000"},
        {Args({"--link-port-offset", "-50001"}), {}, "-50001"},
        {Args({"--link-target"}), {}, "value missing"},
        {{}, Env({{"STATION_LINK_TARGET", "nowhere"}}), "STATION_LINK_TARGET"},
    };
    for (const Case& c : cases) {
        const LinkConfigParse parsed = ParseLinkConfig(c.args, c.env);
        EXPECT_FALSE(parsed.ok()) << c.mentions;
        EXPECT_TRUE(parsed.error.contains(QString::fromLatin1(c.mentions)))
            << parsed.error.toStdString();
    }
    // The extremes of the offset are accepted.
    EXPECT_TRUE(ParseLinkConfig(Args({"--link-port-offset", "5532"}), {}).ok());
    EXPECT_TRUE(ParseLinkConfig(Args({"--link-port-offset", "-50000"}), {}).ok());
    EXPECT_FALSE(LinkOptionsHelp().isEmpty());
}

TEST(LinkConfigTest, AddressesAndHostList) {
    EXPECT_EQ(Ipv4Address::Parse(QStringLiteral(" 10.1.2.3 "))->value, 0x0A010203u);
    EXPECT_EQ(Ipv4Address{0xC0A80001}.toString(), QStringLiteral("192.168.0.1"));
    EXPECT_FALSE(Ipv4Address::Parse(QStringLiteral("1.2.3")).has_value());
    EXPECT_FALSE(Ipv4Address::Parse(QString()).has_value());
    EXPECT_TRUE(kLoopback.isLoopback());
    EXPECT_FALSE(kBroadcast.isLoopback());
    // The host list never holds loopback (cards are never there) or duplicates.
    const auto host = HostIpv4Addresses();
    for (std::size_t i = 0; i < host.size(); ++i) {
        EXPECT_FALSE(host[i].isLoopback());
        for (std::size_t j = i + 1; j < host.size(); ++j) {
            EXPECT_NE(host[i], host[j]);
        }
    }
    const LinkConfig loop = LinkConfig::Loopback(-30000);
    EXPECT_EQ(loop.EffectiveLocalAddresses(), std::vector<Ipv4Address>{kLoopback});
    EXPECT_EQ(loop.target, kLoopback);
}

TEST(LinkConfigTest, ProbedOffsetHasAllSixPortsFree) {
    const auto offset = ProbeFreePortOffset();
    ASSERT_TRUE(offset.has_value());
    EXPECT_GE(*offset, kMinPortOffset);
    EXPECT_LE(*offset, kMaxPortOffset);
    const LinkConfig config = LinkConfig::Loopback(*offset);
    EXPECT_LT(config.CardPort(ScreenId::x), 32768); // below the ephemeral ports
}
