// The one writer of every file the station replaces: the old file or the new
// one, never a part, and never a temporary file left behind.
#include "core/AtomicFile.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList Entries(const TempDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

unsigned Mode(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, ReplacesAFileWholeKeepingItsPermissionsAndItsLink) {
    TempDir dir;
    const QString plain = dir.write(QStringLiteral("Config.ini"), "old");
    ASSERT_TRUE(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(WriteFileAtomically(plain, "new contents"));
    EXPECT_EQ(TempDir::read(plain), QByteArray("new contents"));
    EXPECT_EQ(Mode(plain), 0600u);

    // A playlist reached through a link: the file behind it changes, the link stays.
    const QString real = dir.write(QStringLiteral("real.lft"), "a\r\n");
    const QString link = dir.file(QStringLiteral("show.lft"));
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(WriteFileAtomically(link, "b\r\n"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(TempDir::read(real), QByteArray("b\r\n"));

    const QString fresh = dir.file(QStringLiteral("fresh.txt"));
    ASSERT_TRUE(WriteFileAtomically(fresh, QByteArray()));
    EXPECT_TRUE(QFileInfo(fresh).isFile());
    EXPECT_EQ(Entries(dir), QStringList({QStringLiteral("Config.ini"), QStringLiteral("fresh.txt"),
                                         QStringLiteral("real.lft"), QStringLiteral("show.lft")}));
}

TEST(AtomicFile, AFailureAtAnyStepLeavesTheOldFileAndNoTemporaryFile) {
    struct Case {
        const char* name;
        std::function<IoStatus(const QString&)> write;
    };
    const std::vector<Case> cases{
        {"short write (a full disk)",
         [](const QString& path) {
             FileSizeLimit full(8);
             return WriteFileAtomically(path, QByteArray(64, 'x'));
         }},
        {"failed table write after the records",
         [](const QString& path) {
             AtomicFile file(path);
             EXPECT_TRUE(file.open());
             EXPECT_TRUE(file.write(QByteArray(4, 'r')));
             FileSizeLimit full(4);
             EXPECT_FALSE(file.write(QByteArray(16, 'r')));
             // Later writes fail too, even ones that would fit.
             EXPECT_FALSE(file.writeAt(0, "T"));
             return file.commit();
         }},
        {"abandoned without commit",
         [](const QString& path) {
             AtomicFile file(path);
             EXPECT_TRUE(file.open());
             EXPECT_TRUE(file.write("half"));
             return IoStatus::Fail(QStringLiteral("keep.bin dropped"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const QString path = dir.write(QStringLiteral("keep.bin"), "old bytes");
        const IoStatus status = c.write(path);
        EXPECT_FALSE(status);
        EXPECT_TRUE(status.message.contains(QStringLiteral("keep.bin")));
        EXPECT_EQ(TempDir::read(path), QByteArray("old bytes"));
        EXPECT_EQ(Entries(dir), QStringList({QStringLiteral("keep.bin")}));
    }

    TempDir dir;
    const IoStatus missing = WriteFileAtomically(dir.file(QStringLiteral("no/dir/x.ini")), "x");
    EXPECT_FALSE(missing);
    EXPECT_TRUE(missing.message.contains(QStringLiteral("x.ini")));
    // A directory of the target's name cannot be replaced by a file.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    EXPECT_FALSE(WriteFileAtomically(dir.file(QStringLiteral("taken")), "x"));
    EXPECT_EQ(Entries(dir), QStringList());
}

TEST(AtomicFile, WritesAtAnOffsetFillInWhatWasReserved) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("zim_h.bin"));
    AtomicFile file(path);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write(QByteArray(4, '\xFF')));
    ASSERT_TRUE(file.write("records"));
    ASSERT_TRUE(file.writeAt(0, "TB"));
    EXPECT_FALSE(QFileInfo::exists(path)) << "nothing is in place before the commit";
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(TempDir::read(path), QByteArray("TB\xFF\xFFrecords"));
}

TEST(AtomicFile, CommitIfAbsentNeverReplacesAFileThatAppeared) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("舞台字幕机.desktop"));
    AtomicFile first(path);
    first.setNewFilePermissions(0755);
    ASSERT_TRUE(first.open());
    first.write("mine");
    dir.write(QStringLiteral("舞台字幕机.desktop"), "the user's own");
    EXPECT_EQ(first.commitIfAbsent(), AtomicFile::Publish::Exists);
    EXPECT_EQ(TempDir::read(path), QByteArray("the user's own"));
    ASSERT_TRUE(QFile::remove(path));

    AtomicFile second(path);
    second.setNewFilePermissions(0755);
    ASSERT_TRUE(second.open());
    second.write("mine");
    EXPECT_EQ(second.commitIfAbsent(), AtomicFile::Publish::Done);
    EXPECT_EQ(TempDir::read(path), QByteArray("mine"));
    EXPECT_EQ(Mode(path), 0755u);
    EXPECT_EQ(Entries(dir), QStringList({QStringLiteral("舞台字幕机.desktop")}));
}

TEST(AtomicFile, TemporaryFilesOfAKilledWriterAreClearedAndNothingElse) {
    TempDir dir;
    const QString path = dir.write(QStringLiteral("Config.ini"), "kept");
    for (const char* name : {".Config.ini.k3j9x2.tmp", ".Config.ini.0.tmp", "Config.ini.tmp",
                             ".Config.ini.bak", ".show.lft.k3j9x2.tmp", ".Config.ini..tmp"}) {
        dir.write(QString::fromLatin1(name), "x");
    }
    RemoveLeftoverTemporaryFiles(path);
    EXPECT_EQ(Entries(dir),
              QStringList({QStringLiteral(".Config.ini..tmp"), QStringLiteral(".Config.ini.bak"),
                           QStringLiteral(".show.lft.k3j9x2.tmp"), QStringLiteral("Config.ini"),
                           QStringLiteral("Config.ini.tmp")}));
    EXPECT_EQ(TempDir::read(path), QByteArray("kept"));
}

TEST(AtomicFile, AFileMadeReadOnlyIsNotReplaced) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write any file";
    }
    TempDir dir;
    const QString path = dir.write(QStringLiteral("script.txt"), "protected");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    const IoStatus status = WriteFileAtomically(path, "changed");
    EXPECT_FALSE(status);
    EXPECT_TRUE(status.message.contains(QStringLiteral("script.txt")));
    EXPECT_EQ(TempDir::read(path), QByteArray("protected"));
}
