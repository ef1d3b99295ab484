#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The environment of a station started as a process by a test: the offscreen
// platform, its own lock folder (TMPDIR), home and settings folders.
inline QProcessEnvironment StationProcessEnvironment(const QString& home, const QString& lockDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), lockDir);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.remove(QStringLiteral("XDG_DESKTOP_DIR"));
    return env;
}

// The station's arguments for `home` with the link on loopback.
inline QStringList StationArguments(const QString& home, int portOffset) {
    return {QStringLiteral("--home"),
            home,
            QStringLiteral("--link-local"),
            QStringLiteral("127.0.0.1"),
            QStringLiteral("--link-target"),
            QStringLiteral("127.0.0.1"),
            QStringLiteral("--link-port-offset"),
            QString::number(portOffset)};
}
