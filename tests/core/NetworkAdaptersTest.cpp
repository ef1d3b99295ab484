#include "core/NetworkAdapters.h"

#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct FakeInterface {
    const char* name;
    const char* type;    // nullptr: no file
    const char* address; // nullptr: no file
    const char* flags;   // nullptr: no file
};

// Interfaces as the kernel lists them: a folder per interface with one value
// per file, each ending in a newline.
void WriteInterfaces(const TempDir& dir, const QString& folder,
                     std::initializer_list<FakeInterface> interfaces) {
    for (const FakeInterface& iface : interfaces) {
        const QString path = QDir(dir.file(folder)).filePath(QString::fromUtf8(iface.name));
        ASSERT_TRUE(QDir().mkpath(path));
        const auto put = [&](const char* file, const char* value) {
            if (value != nullptr) {
                QFile out(QDir(path).filePath(QString::fromUtf8(file)));
                ASSERT_TRUE(out.open(QIODevice::WriteOnly));
                out.write(QByteArray(value) + '\n');
            }
        };
        put("type", iface.type);
        put("address", iface.address);
        put("flags", iface.flags);
    }
}

} // namespace

TEST(NetworkAdapters, EthernetLikeAdaptersWithARealAddress) {
    TempDir dir;
    WriteInterfaces(dir, QStringLiteral("devices"),
                    {
                        {"eth0", "1", "00:1a:2b:3c:4d:5e", "0x1003"},
                        {"wlp2s0", "1", "a4:b1:c2:d3:e4:f5", "0x1003"},
                    });
    WriteInterfaces(
        dir, QStringLiteral("net"),
        {
            {"lo", "772", "00:00:00:00:00:00", "0x9"},
            {"dummy0", "1", "00:00:00:00:00:00", "0x82"},
            {"loopish", "1", "02:00:00:00:00:01", "0x9"},
            {"sit0", "776", "00:00:00:00", "0x80"},
            {"ib0", "32", "80:00:02:08:fe:80:00:00:00:00:00:00:00:02:c9:03:00:0a:b1:c2", "0x1003"},
            {"short0", "1", "00:1a:2b:3c:4d", "0x1003"},
            {"bad0", "1", "00:1a:2b:3c:4d:zz", "0x1003"},
            {"long0", "1", "00:1a:2b:3c:4d:5e0", "0x1003"},
            {"notype", nullptr, "02:11:22:33:44:55", "0x1003"},
            {"noaddr", "1", nullptr, "0x1003"},
            {"bond0", "1", "00:1A:2B:3C:4D:5E", "0x1403"},
            {"noflags", "1", "02:aa:bb:cc:dd:ee", nullptr},
        });
    // In sysfs every entry is a symbolic link to the device's folder.
    const QString net = dir.file(QStringLiteral("net"));
    for (const char* name : {"eth0", "wlp2s0"}) {
        ASSERT_TRUE(
            QFile::link(QDir(dir.file(QStringLiteral("devices"))).filePath(QString::fromUtf8(name)),
                        QDir(net).filePath(QString::fromUtf8(name))));
    }

    // Sorted by interface name; bond0 carries eth0's address and is listed
    // first, so the address appears once.
    EXPECT_EQ(PhysicalAdapterAddresses(net),
              (QStringList{QStringLiteral("001A2B3C4D5E"), QStringLiteral("02AABBCCDDEE"),
                           QStringLiteral("A4B1C2D3E4F5")}));
}

TEST(NetworkAdapters, MissingOrEmptyFolderHasNoAdapters) {
    TempDir dir;
    EXPECT_TRUE(PhysicalAdapterAddresses(dir.file(QStringLiteral("absent"))).isEmpty());
    EXPECT_TRUE(PhysicalAdapterAddresses(dir.path()).isEmpty());
}

TEST(NetworkAdapters, ThisHostGivesWellFormedAddresses) {
    const QRegularExpression form(QStringLiteral("^[0-9A-F]{12}$"));
    for (const QString& address : PhysicalAdapterAddresses()) {
        EXPECT_TRUE(form.match(address).hasMatch()) << address.toStdString();
        EXPECT_NE(address, QStringLiteral("000000000000"));
    }
}
