#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <functional>

// Runs the event loop until the condition holds or the limit passes; the way
// these tests wait for anything that arrives through events.
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// What became of this test program run again on a private Xvfb display.
struct XvfbChild {
    bool serverFound = false; // Xvfb is installed
    bool started = false;     // the server told its display
    bool finished = false;    // the child ended within the limit
    int exitCode = -1;
    QString output; // the child's stdout and stderr, and the server's errors
};

// Starts Xvfb on a display it picks itself (-displayfd), runs this program
// again on it (xcb platform) with `childVariable` set and the gtest filter,
// and stops the server. The tests of the child skip themselves unless the
// variable is set, so a plain run never needs an X server.
// `moreScreens` adds X screens 1, 2... of those sizes to the server.
inline XvfbChild RunOnXvfb(const QString& gtestFilter, const char* childVariable,
                           const QString& screen = QStringLiteral("640x480x24"),
                           int limitMs = 120000, const QStringList& moreScreens = {}) {
    XvfbChild result;
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        return result;
    }
    result.serverFound = true;
    QProcess server;
    QStringList arguments{QStringLiteral("-displayfd"),
                          QStringLiteral("1"),
                          QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"),
                          QStringLiteral("-screen"),
                          QStringLiteral("0"),
                          screen};
    for (qsizetype i = 0; i < moreScreens.size(); ++i) {
        arguments << QStringLiteral("-screen") << QString::number(i + 1) << moreScreens[i];
    }
    server.start(xvfb, arguments);
    if (!server.waitForStarted(10000)) {
        return result;
    }
    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           server.state() == QProcess::Running) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        result.output = QString::fromLocal8Bit(server.readAllStandardError());
        server.kill();
        server.waitForFinished();
        return result;
    }
    result.started = true;

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(number.trimmed()));
    environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + gtestFilter});
    result.finished = child.waitForFinished(limitMs);
    result.output = QString::fromLocal8Bit(child.readAll());
    if (!result.finished) {
        child.kill();
        child.waitForFinished();
    } else if (child.exitStatus() == QProcess::NormalExit) {
        result.exitCode = child.exitCode();
    }
    server.terminate();
    server.waitForFinished(10000);
    return result;
}
