#include "DataFiles.h"

#include "core/TextFiles.h"

#include <QDir>

QString DataFileFailedText() {
    return QStringLiteral("创建文件失败！请重启软件！");
}

IoStatus WriteDataFile(const StationPaths& paths, const QString& name, const QByteArray& bytes) {
    const QString failed = DataFileFailedText() + QLatin1Char('\n');
    if (!QDir().mkpath(paths.dataDir())) {
        return IoStatus::Fail(failed + WriteFailedMessage(paths.dataDir()));
    }
    const IoStatus written = WriteFileAtomically(paths.dataFile(name), bytes);
    if (!written) {
        return IoStatus::Fail(failed + written.message);
    }
    return written;
}
