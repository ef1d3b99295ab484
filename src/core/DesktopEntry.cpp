#include "DesktopEntry.h"

#include "AtomicFile.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Escapes of the "string" value type: applied last, after the Exec quoting,
// which is why a backslash inside a quoted argument ends up as four.
QString EscapeStringValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool IsReservedInExec(QChar c) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// One argument of the Exec key (the program or one of its arguments): quoted when
// it holds a space or another reserved character, with '"', '`', '$' and backslash
// escaped inside the quotes, and '%' doubled.
QString DesktopExecValue(const QString& program) {
    QString argument = program;
    bool quote = program.isEmpty();
    for (const QChar c : program) {
        quote = quote || IsReservedInExec(c);
    }
    if (quote) {
        argument.clear();
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                argument += u'\\';
            }
            argument += c;
        }
        argument = u'"' + argument + u'"';
    }
    // A lone '%' would start a field code that launchers expand.
    argument.replace(u'%', QLatin1String("%%"));
    return EscapeStringValue(argument);
}

} // namespace

DesktopEntryResult CreateDesktopEntry(const QString& desktopDir, const QString& executable,
                                      const QString& workingDir, const QStringList& arguments) {
    const QFileInfo dirInfo(desktopDir);
    if (desktopDir.isEmpty() || !dirInfo.isDir()) {
        return DesktopEntryResult::NoDesktop;
    }
    const QDir dir(desktopDir);
    const QString target = dir.filePath(kDesktopEntryName + QLatin1String(".desktop"));
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        return DesktopEntryResult::AlreadyPresent;
    }

    QString exec = DesktopExecValue(executable);
    for (const QString& argument : arguments) {
        exec += QLatin1Char(' ') + DesktopExecValue(argument);
    }
    const QString text = QLatin1String("[Desktop Entry]\n"
                                       "Type=Application\n"
                                       "Name=") +
                         EscapeStringValue(kDesktopEntryName) + QLatin1String("\nExec=") + exec +
                         QLatin1String("\nPath=") + EscapeStringValue(workingDir) +
                         QLatin1String("\nTerminal=false\n");
    const QByteArray bytes = text.toUtf8();

    // Written beside the target under a hidden name and put in place only when
    // complete, so a full disk never leaves a half entry on the desktop; an
    // entry that appeared meanwhile is never replaced.
    AtomicFile file(target);
    file.setNewFilePermissions(0755);
    if (!file.open() || !file.write(bytes)) {
        return DesktopEntryResult::Failed;
    }
    switch (file.commitIfAbsent()) {
    case AtomicFile::Publish::Done:
        return DesktopEntryResult::Created;
    case AtomicFile::Publish::Exists:
        return DesktopEntryResult::AlreadyPresent;
    case AtomicFile::Publish::Failed:
        break;
    }
    return DesktopEntryResult::Failed;
}

QString UserDesktopDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString InstalledMenuEntry() {
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                  kStationAppId + QLatin1String(".desktop"));
}
