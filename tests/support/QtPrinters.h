#pragma once

#include <QString>

#include <ostream>

// Readable failure output: GoogleTest prints a QString as its text instead of
// its bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
