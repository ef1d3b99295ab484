#include "ParamFiles.h"

#include "DataFiles.h"

QString ParamFileName(ScreenId screen) {
    return QStringLiteral("cs_%1.bin").arg(QLatin1Char(ScreenLetter(screen)));
}

QString ParamFileWrittenMessage(ScreenId screen) {
    return ScreenName(screen) + QStringLiteral("参数文件生成成功！");
}

IoStatus WriteParamFile(const StationPaths& paths, ScreenId screen, const ParamBlock& block) {
    return WriteDataFile(paths, ParamFileName(screen),
                         QByteArray(reinterpret_cast<const char*>(block.data()), kParamBlockBytes));
}
