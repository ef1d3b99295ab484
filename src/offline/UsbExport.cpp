#include "UsbExport.h"

#include "OfflineRecords.h"
#include "ParamFiles.h"

#include "core/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

// /sys/class/block/<device>/removable, or its parent disk's for a partition.
bool IsRemovableDevice(const QByteArray& device) {
    if (!device.startsWith("/dev/")) {
        return false;
    }
    const QString name = QFileInfo(QString::fromLocal8Bit(device)).canonicalFilePath().mid(5);
    if (name.isEmpty()) {
        return false;
    }
    const QString block = QStringLiteral("/sys/class/block/") + name;
    for (const QString& flag :
         {block + QStringLiteral("/removable"), block + QStringLiteral("/../removable")}) {
        QFile file(flag);
        if (file.open(QIODevice::ReadOnly)) {
            return file.readAll().trimmed() == "1";
        }
    }
    return false;
}

void CopyOne(const QString& source, const QString& target, const QString& done,
             const QString& failed, const std::function<void(const QString&)>& log) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        log(failed);
        return;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        log(failed);
        return;
    }
    log(WriteFileAtomically(target, bytes) ? done : failed);
}

} // namespace

QStringList RemovableVolumes() {
    QStringList volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !volume.isReadOnly() &&
            IsRemovableDevice(volume.device())) {
            volumes << volume.rootPath();
        }
    }
    return volumes;
}

QString SeparatorLine() {
    return QString(47, QLatin1Char('-'));
}

QString UsbTargetProblem(const QString& target) {
    if (target.trimmed().isEmpty()) {
        return QStringLiteral("请先选择U盘");
    }
    if (!QFileInfo(target).isDir()) {
        return QStringLiteral("找不到U盘目录：") + target;
    }
    return {};
}

void ExportToUsb(const StationPaths& paths, const QString& target, const UsbOptions& options,
                 const std::function<void(const QString&)>& log) {
    // QDir("") is the working directory: without this an empty box would
    // copy there and report success, or delete same-named files there.
    if (const QString problem = UsbTargetProblem(target); !problem.isEmpty()) {
        log(problem);
        return;
    }
    const QDir root(target);
    using FileName = QString (*)(ScreenId);
    const auto group = [&](bool copy, FileName fileName, const char* what, bool separatorFirst,
                           bool separatorAfter) {
        if (copy && separatorFirst) {
            log(SeparatorLine());
        }
        for (ScreenId screen : kAllScreens) {
            const QString name = fileName(screen);
            const QString destination = root.filePath(name);
            if (!copy) {
                if (QFileInfo::exists(destination)) {
                    QFile::remove(destination);
                }
                continue;
            }
            const QString label = ScreenName(screen) + QString::fromUtf8(what);
            CopyOne(paths.dataFile(name), destination,
                    QStringLiteral("写入") + label + QStringLiteral("成功!"),
                    QStringLiteral("写入") + label + QStringLiteral("失败!"), log);
        }
        if (copy && separatorAfter) {
            log(SeparatorLine());
        }
    };
    group(options.params, &ParamFileName, "参数", false, false);
    group(options.adverts, &AdvertFileName, "广告", true, false);
    group(options.subtitles, &SubtitleFileName, "字幕", true, true);
    log(QStringLiteral("请确认u盘为FAT或者FAT32文件系统，否则请格式化"));
}
