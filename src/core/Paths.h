#pragma once

#include <QString>

// Where the station keeps Config.ini, the data directory and the help file:
// the executable's directory unless --home says otherwise.
class StationPaths {
public:
    explicit StationPaths(QString home);
    // The executable's directory (needs a QCoreApplication).
    static StationPaths FromExecutable();

    const QString& home() const { return m_home; }
    QString configFile() const;
    QString dataDir() const;
    QString dataFile(const QString& name) const;

private:
    QString m_home;
};
