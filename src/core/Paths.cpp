#include "Paths.h"

#include <QDir>
#include <QStandardPaths>

StationPaths::StationPaths(QString home)
    : StationPaths(home, home, QDir(home).filePath(QStringLiteral("data"))) {}

StationPaths::StationPaths(QString home, QString configDir, QString dataDir)
    : m_home(std::move(home)), m_configDir(std::move(configDir)), m_dataDir(std::move(dataDir)) {}

StationPaths StationPaths::ForUser() {
    // The generic locations: the application locations would add the
    // organisation's name, which this program does not have.
    const QString config =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
            .filePath(kStationAppDirName);
    const QString data = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                             .filePath(kStationAppDirName);
    return StationPaths(QString(), config, data);
}

QString StationPaths::configFile() const {
    return QDir(m_configDir).filePath(QStringLiteral("Config.ini"));
}

QString StationPaths::dataFile(const QString& name) const {
    return QDir(m_dataDir).filePath(name);
}

bool StationPaths::MakeDirectories() const {
    return QDir().mkpath(m_configDir) && QDir().mkpath(m_dataDir);
}
