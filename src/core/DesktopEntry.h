#pragma once

#include <QString>
#include <QStringList>

// The station offers itself on the user's desktop under this name.
inline const QString kDesktopEntryName = QStringLiteral("舞台字幕机");

enum class DesktopEntryResult { Created, AlreadyPresent, NoDesktop, Failed };

// Creates "<desktopDir>/舞台字幕机.desktop", a freedesktop Application entry
// (UTF-8) that starts `executable` with `arguments` in `workingDir`, and makes it executable
// (rwxr-xr-x) so desktops treat it as launchable. An existing file of that
// name is never rewritten (AlreadyPresent), not even one that appears while
// this runs. A desktopDir that does not exist gives NoDesktop and creates
// nothing. Any write failure gives Failed and leaves no file behind.
DesktopEntryResult CreateDesktopEntry(const QString& desktopDir, const QString& executable,
                                      const QString& workingDir, const QStringList& arguments = {});

// The name under which an installed station is known to the desktop: its menu
// entry (<id>.desktop), icon and AppStream component.
inline const QString kStationAppId = QStringLiteral("org.subtitlestation.Station");

// The installed menu entry of the station in the XDG data directories
// ($XDG_DATA_HOME and $XDG_DATA_DIRS, "applications"); empty when there is none.
QString InstalledMenuEntry();

// The user's desktop folder (QStandardPaths::DesktopLocation); it may not exist.
QString UserDesktopDirectory();
