#pragma once

#include <QString>

// Where the station keeps Config.ini and its data files (offline files, the
// show journal). Given a home directory (--home, tests, the rehearsal),
// everything is in it: Config.ini beside data/. Without one, the station
// keeps them in the user's XDG places, as an installed program does.
class StationPaths {
public:
    explicit StationPaths(QString home);
    // $XDG_CONFIG_HOME/subtitle-station/Config.ini and
    // $XDG_DATA_HOME/subtitle-station/ (~/.config and ~/.local/share when
    // the variables are unset).
    static StationPaths ForUser();

    // The directory given as home; empty for the user's places.
    const QString& home() const { return m_home; }
    QString configDir() const { return m_configDir; }
    QString configFile() const;
    QString dataDir() const { return m_dataDir; }
    QString dataFile(const QString& name) const;
    // Creates the configuration and data directories; false when one cannot
    // be made.
    bool MakeDirectories() const;

private:
    StationPaths(QString home, QString configDir, QString dataDir);

    QString m_home;
    QString m_configDir;
    QString m_dataDir;
};

// The directory name of the user's places.
inline const QString kStationAppDirName = QStringLiteral("subtitle-station");
