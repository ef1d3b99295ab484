#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A temporary directory per test with helpers to write and read raw bytes.
class TempDir {
public:
    TempDir() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) const {
        const QString full = file(name);
        QFile f(full);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << full.toStdString();
        f.write(bytes);
        return full;
    }
    static QByteArray read(const QString& full) {
        QFile f(full);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return f.readAll();
    }

private:
    QTemporaryDir m_dir;
};
