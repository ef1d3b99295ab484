#include "Paths.h"

#include <QCoreApplication>
#include <QDir>

StationPaths::StationPaths(QString home) : m_home(std::move(home)) {}

StationPaths StationPaths::FromExecutable() {
    return StationPaths(QCoreApplication::applicationDirPath());
}

QString StationPaths::configFile() const {
    return QDir(m_home).filePath(QStringLiteral("Config.ini"));
}

QString StationPaths::dataDir() const {
    return QDir(m_home).filePath(QStringLiteral("data"));
}

QString StationPaths::dataFile(const QString& name) const {
    return QDir(dataDir()).filePath(name);
}
