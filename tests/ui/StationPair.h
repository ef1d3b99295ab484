#pragma once
// Two station processes in a main/backup pair on one machine, each with its
// own home and its own loopback address (127.0.0.1, 127.0.0.2) so the cards
// see who sends; driven over OSC and read through their journals. For tests
// and the timing tool.
#include "StationProcess.h"

#include "CardBank.h"
#include "show/ShowSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <csignal>
#include <optional>

inline const QString kPairPin = QStringLiteral("2468");
inline const QHostAddress kFirst{QStringLiteral("127.0.0.1")};
inline const QHostAddress kSecond{QStringLiteral("127.0.0.2")};

inline QByteArray OscString(const QByteArray& text) {
    QByteArray padded = text;
    padded.append('\0');
    while (padded.size() % 4 != 0) {
        padded.append('\0');
    }
    return padded;
}

// An OSC message without arguments, or with one 32-bit integer.
inline QByteArray Osc(const QByteArray& path, std::optional<qint32> number = std::nullopt) {
    QByteArray packet = OscString(path) + OscString(number ? ",i" : ",");
    if (number) {
        QByteArray value(4, '\0');
        qToBigEndian<qint32>(*number, value.data());
        packet += value;
    }
    return packet;
}

inline quint16 FreeTcpPort(const QHostAddress& address) {
    QTcpServer server;
    server.listen(address, 0);
    return server.serverPort();
}

inline quint16 FreeUdpPort(const QHostAddress& address) {
    QUdpSocket socket;
    socket.bind(address, 0);
    return socket.localPort();
}

// Datagrams the cards heard from a station at `address` (the bank's log).
inline int DatagramsFrom(const CardBank& bank, const QHostAddress& address) {
    const QString mark = QStringLiteral("] %1:").arg(address.toString());
    int count = 0;
    for (const QString& line : bank.Log()) {
        count += line.contains(mark) ? 1 : 0;
    }
    return count;
}

// One station process with its home, its address and its ports; `peer` is
// the other station of the pair.
struct StationRun {
    QString home;
    QHostAddress address;
    quint16 oscPort = 0;
    quint16 mirrorPort = 0;
    const StationRun* peer = nullptr;
    QTemporaryDir lockDir;
    QProcess process;
    QByteArray errors;

    QString mirrorAddress() const {
        return QStringLiteral("%1:%2").arg(address.toString()).arg(mirrorPort);
    }
    QStringList Arguments(int portOffset, const QString& role) const {
        QStringList arguments = StationArguments(home, portOffset);
        arguments[3] = address.toString(); // --link-local
        arguments << QStringLiteral("--osc-port") << QString::number(oscPort)
                  << QStringLiteral("--remote-pin") << kPairPin << QStringLiteral("--role") << role
                  << QStringLiteral("--mirror-port") << QString::number(mirrorPort)
                  << QStringLiteral("--main-address") << peer->mirrorAddress();
        return arguments;
    }
    bool Start(int portOffset, const QString& role) {
        errors.clear();
        process.setProcessEnvironment(StationProcessEnvironment(home, lockDir.path()));
        process.setProgram(QStringLiteral(STATION_EXECUTABLE));
        process.setArguments(Arguments(portOffset, role));
        process.start();
        return process.waitForStarted(10000);
    }
    bool Kill(int signal) {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        return process.waitForFinished(30000);
    }
    void Send(const QByteArray& packet) const {
        QUdpSocket socket;
        socket.writeDatagram(packet, address, oscPort);
    }
    QString Errors() {
        errors += process.readAllStandardError();
        return QString::fromUtf8(errors);
    }
    std::optional<ShowState> Journal() const {
        return ShowJournal::ReadJournal(
            ShowSession::JournalPath(QDir(home).filePath(QStringLiteral("data"))));
    }
    bool Shows(qsizetype line, bool linkOpen) const {
        const std::optional<ShowState> state = Journal();
        return state && state->line == line && state->linkOpen == linkOpen;
    }
    // OSC datagrams sent before the station listens are lost: asks again
    // until its journal says the link is open.
    bool ConnectByOsc(int ms) {
        return QTest::qWaitFor(
            [&] {
                Send(Osc("/subtitle/connect"));
                return QTest::qWaitFor(
                    [&] {
                        const std::optional<ShowState> state = Journal();
                        return state && state->linkOpen;
                    },
                    1000);
            },
            ms);
    }
};
