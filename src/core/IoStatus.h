#pragma once

#include <QString>

// Outcome of an operation that touches a file. A failure always carries a
// message for the operator that names the file. A success may carry a note the
// operator should read all the same (the file was written in another encoding).
struct IoStatus {
    bool ok = true;
    QString message;

    static IoStatus Ok() { return {}; }
    static IoStatus Fail(QString text) {
        IoStatus status;
        status.ok = false;
        status.message = std::move(text);
        return status;
    }
    static IoStatus OkWithNote(QString text) {
        IoStatus status;
        status.message = std::move(text);
        return status;
    }
    explicit operator bool() const { return ok; }
};

// The operator-visible texts of file failures, so every caller words them alike.
QString ReadFailedMessage(const QString& path);
QString WriteFailedMessage(const QString& path, const QString& reason = {});
