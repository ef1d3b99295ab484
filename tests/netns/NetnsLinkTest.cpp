// The link with the production defaults on a real (virtual) network: network
// namespaces joined by veth pairs, the simulated cards in one of them on the
// real card ports, the station in another with no link options at all, so it
// binds the namespace's own addresses, broadcasts to 255.255.255.255 and uses
// ports 50001-50003. Cards answer to the station's address or by broadcast;
// a station with two interfaces sends one copy of everything on each.

#include "NetnsLab.h"

#include <QDir>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

namespace {

const QString kCardAddress = QStringLiteral("198.51.100.10");
const QStringList kStationAddresses{QStringLiteral("198.51.100.1"), QStringLiteral("198.51.100.2")};

// One card per screen, on the screen's card port; the station's port of the screen.
struct Card {
    const char* letter;
    QString mac;
    int stationPort;
};
const Card kCards[] = {{"h", QStringLiteral("02-00-00-00-00-01"), 50001},
                       {"s", QStringLiteral("02-00-00-00-00-02"), 50002},
                       {"x", QStringLiteral("02-00-00-00-00-03"), 50003}};

QMap<QString, QString> Findings(const QString& out) {
    QMap<QString, QString> findings;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) {
            findings.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    return findings;
}

int CountLines(const QStringList& log, const QString& part) {
    int n = 0;
    for (const QString& line : log) {
        n += line.contains(part) ? 1 : 0;
    }
    return n;
}

// Two or three namespaces: the station ("st"), the cards ("cd") and, for a
// station with two interfaces, a bridge ("br") that joins all three links
// into one segment, as a switch would.
struct Network {
    QString station;
    QString cards;
    QStringList stationAddresses;
};

bool Build(NetnsLab& lab, int stationInterfaces, Network& net) {
    net.station = lab.AddNamespace(QStringLiteral("st"));
    net.cards = lab.AddNamespace(QStringLiteral("cd"));
    if (net.station.isEmpty() || net.cards.isEmpty()) {
        return false;
    }
    const QString prefix = QStringLiteral("/24");
    auto address = [&](const QString& ns, const QString& ip, const QString& dev) {
        return lab.Ip(ns, {QStringLiteral("address"), QStringLiteral("add"), ip + prefix,
                           QStringLiteral("dev"), dev});
    };
    if (stationInterfaces == 1) {
        net.stationAddresses = {kStationAddresses[0]};
        return lab.Veth(net.station, QStringLiteral("s0"), net.cards, QStringLiteral("c0")) &&
               address(net.station, kStationAddresses[0], QStringLiteral("s0")) &&
               address(net.cards, kCardAddress, QStringLiteral("c0"));
    }
    const QString bridge = lab.AddNamespace(QStringLiteral("br"));
    if (bridge.isEmpty() ||
        !lab.Ip(bridge, {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("br0"),
                         QStringLiteral("type"), QStringLiteral("bridge")}) ||
        !lab.Ip(bridge, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("br0"),
                         QStringLiteral("up")})) {
        return false;
    }
    struct Link {
        QString ns;
        QString dev;
        QString port;
    };
    const Link links[] = {{net.station, QStringLiteral("s0"), QStringLiteral("p0")},
                          {net.station, QStringLiteral("s1"), QStringLiteral("p1")},
                          {net.cards, QStringLiteral("c0"), QStringLiteral("p2")}};
    for (const Link& link : links) {
        if (!lab.Veth(link.ns, link.dev, bridge, link.port) ||
            !lab.Ip(bridge, {QStringLiteral("link"), QStringLiteral("set"), link.port,
                             QStringLiteral("master"), QStringLiteral("br0")})) {
            return false;
        }
    }
    // Two interfaces on one segment: each answers ARP only for its own address
    // and takes what comes in on the other, so a unicast answer reaches the
    // address it was sent to whichever interface carries it.
    for (const QString& scope : {QStringLiteral("all"), QStringLiteral("default"),
                                 QStringLiteral("s0"), QStringLiteral("s1")}) {
        if (!lab.Sysctl(net.station, QStringLiteral("net.ipv4.conf.%1.rp_filter").arg(scope),
                        QStringLiteral("0")) ||
            !lab.Sysctl(net.station, QStringLiteral("net.ipv4.conf.%1.arp_ignore").arg(scope),
                        QStringLiteral("1"))) {
            return false;
        }
    }
    net.stationAddresses = kStationAddresses;
    return address(net.station, kStationAddresses[0], QStringLiteral("s0")) &&
           address(net.station, kStationAddresses[1], QStringLiteral("s1")) &&
           address(net.cards, kCardAddress, QStringLiteral("c0"));
}

QStringList SimArguments(bool answerBroadcast, const QString& logFile, const QString& outDir) {
    QStringList args{QStringLiteral("--bind"),
                     kCardAddress,
                     QStringLiteral("--allow-non-loopback"),
                     QStringLiteral("--log"),
                     logFile,
                     QStringLiteral("--out"),
                     outDir,
                     QStringLiteral("--duration"),
                     QStringLiteral("60")};
    if (answerBroadcast) {
        args << QStringLiteral("--answer-broadcast");
    }
    for (const Card& card : kCards) {
        args << QStringLiteral("--card")
             << QStringLiteral("mac=%1 screen=%2").arg(card.mac, QLatin1String(card.letter));
    }
    return args;
}

// Starts the cards and waits until they listen; null on failure.
QProcess* StartCards(NetnsLab& lab, const Network& net, bool answerBroadcast,
                     const QString& logFile, const QString& outDir) {
    QProcess* sim = lab.Start(net.cards, QStringLiteral(LED_CARD_SIM_PATH),
                              SimArguments(answerBroadcast, logFile, outDir));
    QByteArray said;
    while (!said.contains("listening")) {
        if (!sim->waitForReadyRead(10000)) {
            ADD_FAILURE() << "led-card-sim did not start: "
                          << sim->readAllStandardError().toStdString();
            return nullptr;
        }
        said += sim->readAllStandardOutput();
    }
    return sim;
}

QStringList StopCards(QProcess* sim, const QString& logFile) {
    sim->terminate(); // the simulator writes its pictures on the way out
    EXPECT_TRUE(sim->waitForFinished(10000));
    EXPECT_EQ(sim->exitCode(), 0) << sim->readAllStandardError().toStdString();
    QFile file(logFile);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << logFile.toStdString();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class NetnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString why = NetnsLab::Unavailable();
        if (!why.isEmpty()) {
            GTEST_SKIP() << "network namespace test skipped: " << why.toStdString();
        }
        ASSERT_TRUE(m_dir.isValid());
    }
    QString file(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    QTemporaryDir m_dir;
};

struct NetworkSetup {
    const char* name;
    int stationInterfaces;
    bool answerBroadcast;
};

void PrintTo(const NetworkSetup& setup, std::ostream* out) {
    *out << setup.name;
}

class NetnsSequenceTest : public NetnsTest, public ::testing::WithParamInterface<NetworkSetup> {};

} // namespace

TEST_P(NetnsSequenceTest, SearchConnectLinesBrightnessDisconnect) {
    const NetworkSetup setup = GetParam();
    NetnsLab lab;
    Network net;
    ASSERT_TRUE(Build(lab, setup.stationInterfaces, net)) << lab.error().toStdString();
    const QString logFile = file(QStringLiteral("cards.log"));
    const QString outDir = file(QStringLiteral("out"));
    QProcess* sim = StartCards(lab, net, setup.answerBroadcast, logFile, outDir);
    ASSERT_NE(sim, nullptr);

    const NetnsLab::Finished driver = lab.Run(
        net.station, QStringLiteral(NETNS_STATION_DRIVER_PATH),
        {QStringLiteral("sequence"), QStringLiteral("h"), QStringLiteral("s"), QStringLiteral("x")},
        20000);
    const QStringList log = StopCards(sim, logFile);
    ASSERT_TRUE(driver.ok) << driver.out.toStdString() << driver.err.toStdString();
    const QMap<QString, QString> found = Findings(driver.out);
    SCOPED_TRACE(driver.out.toStdString());
    ASSERT_EQ(found.value(QStringLiteral("result")), QStringLiteral("done"));

    // The defaults bound the namespace's own addresses and nothing else.
    const QString bound = net.stationAddresses.join(QLatin1Char(','));
    for (const Card& card : kCards) {
        const QString letter = QLatin1String(card.letter);
        SCOPED_TRACE(card.letter);
        EXPECT_EQ(found.value(QStringLiteral("bound_connected_") + letter), bound);
        EXPECT_EQ(found.value(QStringLiteral("hears_broadcasts_connected_") + letter),
                  QStringLiteral("1"));
        EXPECT_EQ(found.value(QStringLiteral("search_") + letter), card.mac);
        EXPECT_EQ(found.value(QStringLiteral("online_") + letter), QStringLiteral("1"));
        EXPECT_EQ(found.value(QStringLiteral("frame_") + letter), QStringLiteral("1/1"));
        EXPECT_EQ(found.value(QStringLiteral("online_after_disconnect_") + letter),
                  QStringLiteral("0"));
        EXPECT_EQ(found.value(QStringLiteral("bound_disconnected_") + letter), QString());
        EXPECT_EQ(found.value(QStringLiteral("own_ignored_") + letter), QStringLiteral("0"));
        const long long broadcasts =
            found.value(QStringLiteral("broadcasts_heard_") + letter).toLongLong();
        if (setup.answerBroadcast) {
            // Every answer came by broadcast.
            EXPECT_GT(broadcasts, 0);
            EXPECT_EQ(broadcasts, found.value(QStringLiteral("received_") + letter).toLongLong());
        } else {
            EXPECT_EQ(broadcasts, 0);
        }

        // One copy of every command left on each station interface.
        for (const QString& station : net.stationAddresses) {
            const QString from = QStringLiteral("[%1] %2:%3 %4 ")
                                     .arg(letter, station)
                                     .arg(card.stationPort)
                                     .arg(card.mac);
            SCOPED_TRACE(from.toStdString());
            EXPECT_EQ(CountLines(log, from + QStringLiteral("Search")), 1);
            EXPECT_EQ(CountLines(log, from + QStringLiteral("Connect")), 1);
            EXPECT_EQ(CountLines(log, from + QStringLiteral("SyncMode")), 1);
            EXPECT_EQ(CountLines(log, from + QStringLiteral("SwapBuffer")), 1);
            EXPECT_EQ(CountLines(log, from + QStringLiteral("Brightness 1")), 2);
            EXPECT_EQ(CountLines(log, from + QStringLiteral("Disconnect")), 1);
        }
        EXPECT_EQ(CountLines(log, QStringLiteral(" (answered by broadcast)")) > 0,
                  setup.answerBroadcast);

        // The line is on the card.
        const QImage shown(QDir(outDir).filePath(card.mac + QStringLiteral(".png")));
        ASSERT_FALSE(shown.isNull());
        int lit = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                lit += (shown.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
            }
        }
        EXPECT_GT(lit, 50);
    }
    EXPECT_EQ(found.value(QStringLiteral("connected")), QStringLiteral("1"));
    EXPECT_EQ(found.value(QStringLiteral("connect_informs")), QStringLiteral("0"));
    EXPECT_EQ(found.value(QStringLiteral("brightness")), QStringLiteral("1"));
    EXPECT_EQ(found.value(QStringLiteral("connected_after_disconnect")), QStringLiteral("0"));
}

INSTANTIATE_TEST_SUITE_P(Networks, NetnsSequenceTest,
                         ::testing::Values(NetworkSetup{"OneInterfaceUnicastAnswers", 1, false},
                                           NetworkSetup{"OneInterfaceBroadcastAnswers", 1, true},
                                           NetworkSetup{"TwoInterfacesUnicastAnswers", 2, false},
                                           NetworkSetup{"TwoInterfacesBroadcastAnswers", 2, true}),
                         [](const ::testing::TestParamInfo<NetworkSetup>& info) {
                             return std::string(info.param.name);
                         });

// The station's address disappears for a moment (a replugged cable, a renewed
// lease): sends are refused, and the exchange rides it out on its retries.
TEST_F(NetnsTest, ExchangeSurvivesAnAddressThatComesBack) {
    NetnsLab lab;
    Network net;
    ASSERT_TRUE(Build(lab, 1, net)) << lab.error().toStdString();
    const QString logFile = file(QStringLiteral("cards.log"));
    QProcess* sim = StartCards(lab, net, false, logFile, file(QStringLiteral("out")));
    ASSERT_NE(sim, nullptr);
    const NetnsLab::Finished driver =
        lab.Run(net.station, QStringLiteral(NETNS_STATION_DRIVER_PATH),
                {QStringLiteral("flap"), QStringLiteral("s0"),
                 kStationAddresses[0] + QStringLiteral("/24"), kCards[0].mac},
                20000);
    const QStringList log = StopCards(sim, logFile);
    ASSERT_TRUE(driver.ok) << driver.out.toStdString() << driver.err.toStdString();
    const QMap<QString, QString> found = Findings(driver.out);
    SCOPED_TRACE(driver.out.toStdString());
    EXPECT_EQ(found.value(QStringLiteral("flap_up_again")), QStringLiteral("1"));
    EXPECT_GE(found.value(QStringLiteral("send_failures_h")).toInt(), 1);
    EXPECT_EQ(found.value(QStringLiteral("flap_answered")), QStringLiteral("1"));
    // At least one refused attempt waited its 100 ms before the next.
    EXPECT_GE(found.value(QStringLiteral("flap_elapsed_ms")).toInt(), 100);
    EXPECT_EQ(CountLines(log, QStringLiteral(" %1 Connect").arg(kCards[0].mac)), 1);
}
