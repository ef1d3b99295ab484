#pragma once

#include <QString>
#include <QStringList>

// The hardware addresses of the host's network adapters as 12 upper-case
// hexadecimal digits each ("001A2B3C4D5E"), in the order of the interface
// names, each address once: non-loopback interfaces whose hardware address is
// Ethernet-like (type 1 in sysfs) and not all zero. `sysClassNet` is the
// folder that lists the interfaces (tests give their own).
QStringList PhysicalAdapterAddresses(const QString& sysClassNet = QStringLiteral("/sys/class/net"));
