#include "core/DesktopEntry.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

QString EntryPath(const QString& desktopDir) {
    return QDir(desktopDir).filePath(QStringLiteral("舞台字幕机.desktop"));
}

QStringList EntryLines(const QString& desktopDir) {
    return QString::fromUtf8(TempDir::read(EntryPath(desktopDir))).split(u'\n');
}

QString KeyValue(const QStringList& lines, const QString& key) {
    for (const QString& line : lines) {
        if (line.startsWith(key + u'=')) {
            return line.mid(key.size() + 1);
        }
    }
    return QStringLiteral("<missing>");
}

} // namespace

TEST(DesktopEntry, CreatesALaunchableUtf8Entry) {
    TempDir desktop;
    ASSERT_EQ(CreateDesktopEntry(desktop.path(), QStringLiteral("/opt/station/subtitle-station"),
                                 QStringLiteral("/opt/station")),
              DesktopEntryResult::Created);

    const QStringList lines = EntryLines(desktop.path());
    EXPECT_EQ(lines.value(0), QStringLiteral("[Desktop Entry]"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Name")), QStringLiteral("舞台字幕机"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Exec")),
              QStringLiteral("/opt/station/subtitle-station"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Path")), QStringLiteral("/opt/station"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Terminal")), QStringLiteral("false"));

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(EntryPath(desktop.path())).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(
        QDir(desktop.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("舞台字幕机.desktop")})
        << "no temporary file is left beside it";
}

TEST(DesktopEntry, ExecQuotesPathsThatNeedIt) {
    struct Case {
        QString executable;
        QString exec;
    };
    const Case cases[] = {
        {QStringLiteral("/usr/bin/station"), QStringLiteral("/usr/bin/station")},
        {QStringLiteral("/home/王/舞台/station"), QStringLiteral("/home/王/舞台/station")},
        {QStringLiteral("/home/a b/station"), QStringLiteral("\"/home/a b/station\"")},
        {QStringLiteral("/opt/it's/station"), QStringLiteral("\"/opt/it's/station\"")},
        {QStringLiteral("/opt/a&b;c/station"), QStringLiteral("\"/opt/a&b;c/station\"")},
        // Inside quotes '"', '`' and '$' take a backslash; that backslash and
        // any literal one are doubled again by the string escapes of the file.
        {QStringLiteral("/opt/$HOME/st"), QStringLiteral("\"/opt/\\\\$HOME/st\"")},
        {QStringLiteral("/opt/\"q\"/st"), QStringLiteral("\"/opt/\\\\\"q\\\\\"/st\"")},
        {QStringLiteral("/opt/`x`/st"), QStringLiteral("\"/opt/\\\\`x\\\\`/st\"")},
        {QStringLiteral("/opt/back\\slash/st"), QStringLiteral("\"/opt/back\\\\\\\\slash/st\"")},
        // A field code would be expanded by the launcher.
        {QStringLiteral("/opt/100%/st"), QStringLiteral("/opt/100%%/st")},
        {QStringLiteral("/opt/100% sure/st"), QStringLiteral("\"/opt/100%% sure/st\"")},
    };
    for (const Case& c : cases) {
        TempDir desktop;
        ASSERT_EQ(CreateDesktopEntry(desktop.path(), c.executable, QStringLiteral("/w")),
                  DesktopEntryResult::Created);
        EXPECT_EQ(KeyValue(EntryLines(desktop.path()), QStringLiteral("Exec")), c.exec)
            << c.executable.toStdString();
    }
}

TEST(DesktopEntry, ALauncherStartsTheProgramInItsFolder) {
    // GLib's launcher reads the entry the way desktops do: it must find the
    // program behind the quoting and start it in the Path folder.
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) {
        GTEST_SKIP() << "gio is not installed";
    }
    TempDir root;
    const QString folder = root.file(QStringLiteral("舞台 $HOME \"q\" 'it' back\\slash"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = QDir(folder).filePath(QStringLiteral("run me.sh"));
    const QString marker = root.file(QStringLiteral("started"));
    root.write(QDir(root.path()).relativeFilePath(program),
               "#!/bin/sh\npwd > '" + QFile::encodeName(marker) + "'\n");
    ASSERT_TRUE(
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString desktop = root.file(QStringLiteral("desktop"));
    ASSERT_TRUE(QDir().mkpath(desktop));
    ASSERT_EQ(CreateDesktopEntry(desktop, program, folder), DesktopEntryResult::Created);

    QProcess launcher;
    launcher.start(gio, {QStringLiteral("launch"), EntryPath(desktop)});
    ASSERT_TRUE(launcher.waitForFinished(10000));
    ASSERT_EQ(launcher.exitCode(), 0) << launcher.readAllStandardError().toStdString();
    // The program runs on its own after the launcher returns.
    QDeadlineTimer deadline(10000);
    while (TempDir::read(marker).isEmpty() && !deadline.hasExpired()) {
        QThread::msleep(10);
    }
    EXPECT_EQ(QString::fromLocal8Bit(TempDir::read(marker)).trimmed(), folder);
}

TEST(DesktopEntry, ExistingEntryIsNeverRewritten) {
    TempDir desktop;
    desktop.write(QStringLiteral("舞台字幕机.desktop"), "the user's own\n");
    EXPECT_EQ(CreateDesktopEntry(desktop.path(), QStringLiteral("/usr/bin/station"),
                                 QStringLiteral("/w")),
              DesktopEntryResult::AlreadyPresent);
    EXPECT_EQ(TempDir::read(EntryPath(desktop.path())), QByteArray("the user's own\n"));
    EXPECT_EQ(QDir(desktop.path()).count(), 3u) << "only . .. and the entry";
}

TEST(DesktopEntry, NoDesktopFolderCreatesNothing) {
    TempDir root;
    const QString absent = root.file(QStringLiteral("Desktop"));
    EXPECT_EQ(CreateDesktopEntry(absent, QStringLiteral("/usr/bin/station"), QStringLiteral("/w")),
              DesktopEntryResult::NoDesktop);
    EXPECT_FALSE(QFileInfo::exists(absent));

    const QString plainFile = root.write(QStringLiteral("not-a-folder"), "x");
    EXPECT_EQ(
        CreateDesktopEntry(plainFile, QStringLiteral("/usr/bin/station"), QStringLiteral("/w")),
        DesktopEntryResult::NoDesktop);
    EXPECT_EQ(
        CreateDesktopEntry(QString(), QStringLiteral("/usr/bin/station"), QStringLiteral("/w")),
        DesktopEntryResult::NoDesktop);
}

TEST(DesktopEntry, FailedWriteLeavesNoFile) {
    TempDir desktop;
    DesktopEntryResult result;
    {
        FileSizeLimit full(40);
        result = CreateDesktopEntry(desktop.path(), QStringLiteral("/usr/bin/station"),
                                    QStringLiteral("/w"));
    }
    EXPECT_EQ(result, DesktopEntryResult::Failed);
    EXPECT_TRUE(QDir(desktop.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}
