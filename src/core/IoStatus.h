#pragma once

#include <QString>

// Outcome of an operation that touches a file. A failure always carries a
// message for the operator that names the file.
struct IoStatus {
    bool ok = true;
    QString message;

    static IoStatus Ok() { return {}; }
    static IoStatus Fail(QString text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

// The operator-visible texts of file failures, so every caller words them alike.
QString ReadFailedMessage(const QString& path);
QString WriteFailedMessage(const QString& path, const QString& reason = {});
