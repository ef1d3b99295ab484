#pragma once

#include <QString>
#include <QStringList>

// The faces the operator can choose and how a stored face name becomes an
// installed one. Settings written elsewhere name faces such as "宋体" that do
// not exist on this system; they map to an installed Chinese face of the same
// kind so Chinese text never comes out as empty boxes. Needs a QGuiApplication;
// called on the user-interface thread only.
namespace FontCatalogue {

// The faces the operator can choose: installed font families and, when a
// Chinese face of their kind is installed, "宋体" and "黑体" themselves, sorted,
// without the "@" faces (vertical variants). Every stored setting names those
// two; listing them lets a dialog select the stored name and keep it, instead
// of selecting nothing and storing an empty face.
QStringList InstalledFaces();

// Makes "宋体", "黑体" and their aliases draw with the installed Chinese faces
// in every widget font (QFont substitutions). Once per process is enough;
// calling again changes nothing.
void InstallSubstitutions();

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
