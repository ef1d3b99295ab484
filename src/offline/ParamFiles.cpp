#include "ParamFiles.h"

#include "core/TextFiles.h"

#include <QDir>

QString ParamFileName(ScreenId screen) {
    return QStringLiteral("cs_%1.bin").arg(QLatin1Char(ScreenLetter(screen)));
}

QString ParamFileWrittenMessage(ScreenId screen) {
    return ScreenName(screen) + QStringLiteral("参数文件生成成功！");
}

IoStatus WriteParamFile(const StationPaths& paths, ScreenId screen, const ParamBlock& block) {
    const QString path = paths.dataFile(ParamFileName(screen));
    const QString failed = QStringLiteral("创建文件失败！请重启软件！\n");
    if (!QDir().mkpath(paths.dataDir())) {
        return IoStatus::Fail(failed + WriteFailedMessage(paths.dataDir()));
    }
    const IoStatus written = WriteFileAtomically(
        path, QByteArray(reinterpret_cast<const char*>(block.data()), kParamBlockBytes));
    if (!written) {
        return IoStatus::Fail(failed + written.message);
    }
    return written;
}
