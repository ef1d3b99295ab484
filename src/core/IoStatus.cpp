#include "IoStatus.h"

#include <QDir>

QString ReadFailedMessage(const QString& path) {
    return QStringLiteral("无法读取文件：%1").arg(QDir::toNativeSeparators(path));
}

QString WriteFailedMessage(const QString& path, const QString& reason) {
    QString text = QStringLiteral("无法写入文件：%1").arg(QDir::toNativeSeparators(path));
    if (!reason.isEmpty()) {
        text += QStringLiteral("（%1）").arg(reason);
    }
    return text;
}
