#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

// Runs the built subtitle-station-cli (its path comes from the build) with the
// offscreen platform, feeding `input` to its standard input.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline QProcessEnvironment CliEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Only what the test passes decides where datagrams go.
    environment.remove(QStringLiteral("STATION_LINK_LOCAL"));
    environment.remove(QStringLiteral("STATION_LINK_TARGET"));
    environment.remove(QStringLiteral("STATION_LINK_PORT_OFFSET"));
    // Nor may a station set up on this machine: without --home a command
    // finds no Config.ini, unless the test made its own user places.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const QString key = QString::fromLatin1(name);
        if (!environment.value(key).startsWith(QDir::tempPath() + QLatin1Char('/'))) {
            environment.insert(key, QStringLiteral("/nonexistent/subtitle-station-test/") + key);
        }
    }
    return environment;
}

inline CliRun RunCli(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.setProcessEnvironment(CliEnvironment());
    process.start(QStringLiteral(SUBTITLE_STATION_CLI), arguments);
    EXPECT_TRUE(process.waitForStarted(10000));
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    CliRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
