#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets.

// A broken invariant is a finding like a crash: say which and stop so that
// libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz invariant broken: %s (%s:%d)\n", #condition, __FILE__,      \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline QByteArray FuzzBytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// One private directory per fuzzing process for the loaders that only take a
// path; the files in it are overwritten by every input.
inline QString FuzzFilePath(const QString& name) {
    static QTemporaryDir dir;
    return dir.path() + QLatin1Char('/') + name;
}

inline QString WriteFuzzFile(const QString& name, const QByteArray& bytes) {
    const QString path = FuzzFilePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort(); // the temporary directory itself failed; nothing to fuzz
    }
    return path;
}
