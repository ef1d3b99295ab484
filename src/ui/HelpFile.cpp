#include "HelpFile.h"

#include <QDir>
#include <QFileInfo>

QString FindHelpFile(const QString& homeDir, const QString& executableDir) {
    // A home given with --home may carry its own (e.g. translated or
    // annotated) copy; it wins over the one installed with the program.
    // An installed station keeps it with its other shared files.
    const QString installed =
        executableDir.isEmpty()
            ? QString()
            : QDir(executableDir).filePath(QStringLiteral("../share/subtitle-station"));
    for (const QString& dir : {homeDir, executableDir, installed}) {
        if (dir.isEmpty()) {
            continue;
        }
        const QFileInfo candidate(QDir(dir).filePath(kHelpFileName));
        if (candidate.isFile()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}
