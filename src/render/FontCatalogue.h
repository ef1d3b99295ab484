#pragma once

#include <QString>
#include <QStringList>

// The faces the operator can choose and how a stored face name becomes an
// installed one. Settings written elsewhere name faces such as "宋体" that do
// not exist on this system; they map to an installed Chinese face of the same
// kind so Chinese text never comes out as empty boxes. Needs a QGuiApplication;
// called on the user-interface thread only.
namespace FontCatalogue {

// Installed font families, sorted, without the "@" faces (vertical variants).
QStringList InstalledFaces();

// The installed family to draw with for a stored face name: the face itself
// when installed (compared without regard to case); a Song/Ming face for
// "宋体" and its aliases and for any face that is missing; a sans face for
// "黑体" and its aliases. Falls back from one kind to the other, and to the
// system's default family when no Chinese face is installed at all.
QString ResolveFace(const QString& face);

// The installed Chinese faces in order of preference: Song/Ming first (or sans
// first when sansFirst), then the other kind. Empty when none is installed.
QStringList ChineseFaces(bool sansFirst = false);

} // namespace FontCatalogue
