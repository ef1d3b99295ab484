#include "NetworkAdapters.h"

#include <QDir>
#include <QFile>

namespace {

constexpr int kArphrdEther = 1; // ARPHRD_ETHER; Wi-Fi adapters report it too
constexpr unsigned kIffLoopback = 0x8;

QByteArray ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.read(256).trimmed();
}

// "00:1a:2b:3c:4d:5e" -> "001A2B3C4D5E"; anything else (another length, a
// stray character) gives an empty string.
QString NormalizeAddress(const QByteArray& text) {
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 6) {
        return {};
    }
    QString digits;
    for (const QByteArray& part : parts) {
        if (part.size() != 2) {
            return {};
        }
        bool ok = false;
        part.toUInt(&ok, 16);
        if (!ok) {
            return {};
        }
        digits += QString::fromLatin1(part.toUpper());
    }
    return digits;
}

} // namespace

QStringList PhysicalAdapterAddresses(const QString& sysClassNet) {
    const QDir root(sysClassNet);
    QStringList names =
        root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    QStringList addresses;
    for (const QString& name : names) {
        const QDir iface(root.filePath(name));
        bool ok = false;
        const int type = ReadSmallFile(iface.filePath(QStringLiteral("type"))).toInt(&ok);
        if (!ok || type != kArphrdEther) {
            continue;
        }
        // A loopback device is type 772, but the flags say it for any type.
        const QByteArray flagsText = ReadSmallFile(iface.filePath(QStringLiteral("flags")));
        const unsigned flags = flagsText.toUInt(&ok, 0);
        if (ok && (flags & kIffLoopback) != 0) {
            continue;
        }
        const QString address =
            NormalizeAddress(ReadSmallFile(iface.filePath(QStringLiteral("address"))));
        if (address.isEmpty() || address == QLatin1String("000000000000") ||
            addresses.contains(address)) {
            continue;
        }
        addresses.append(address);
    }
    return addresses;
}
