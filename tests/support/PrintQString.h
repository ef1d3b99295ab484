#pragma once

#include <QString>

#include <ostream>

// GoogleTest prints a QString as its text instead of its bytes. One
// definition for every helper header that wants it.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
