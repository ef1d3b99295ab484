#pragma once

#include "OneCardStation.h"
#include "support/Wait.h"

#include <QTcpServer>
#include <QUdpSocket>

// A station on loopback with one simulated card on its horizontal screen
// (256 × 32, two colours) and a script of six lines, and the remotes switched
// on for the run on free ports with the PIN 2468.
class RemoteStationFixture : public OneCardStation {
protected:
    void SetUp() override {
        OneCardStation::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        const QString script = WriteLines(QStringLiteral("script.txt"), kLines);
        WriteConfig(OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script})));
    }

    // The remotes on for this run, as --osc-port 0 --web-port 0 --remote-pin 2468
    // would switch them on (listening on the link's addresses: loopback).
    StationOptions RemoteOptions() const {
        StationOptions options = Options();
        options.remote.oscPort = 0;
        options.remote.webPort = 0;
        options.remote.pin = QStringLiteral("2468");
        return options;
    }

    QImage Expected(TMainForm& w) {
        return Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual);
    }
    // The card shows what the station rendered for line `number` (from 1).
    ::testing::AssertionResult CardShowsLine(TMainForm& w, int number) {
        if (!WaitUntil([&] { return w.player().selectedLine() == number - 1; })) {
            return ::testing::AssertionFailure()
                   << "selected line " << w.player().selectedLine() + 1 << ", not " << number;
        }
        if (!WaitUntil([&] { return !Shown().isNull() && Shown() == Expected(w); })) {
            return ::testing::AssertionFailure() << "the card does not show line " << number;
        }
        return ::testing::AssertionSuccess();
    }

    static quint16 FreeUdpPort() {
        QUdpSocket socket;
        socket.bind(QHostAddress::LocalHost, 0);
        return socket.localPort();
    }
    static quint16 FreeTcpPort() {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

    const QStringList kLines{QStringLiteral("第一句"), QStringLiteral("第二句"),
                             QStringLiteral("第三句"), QStringLiteral("第四句"),
                             QStringLiteral("第五句"), QStringLiteral("第六句")};
};
