#pragma once

#include "outputs/OutputSettings.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A UDP socket that sends DDP datagrams and never reads: DDP receivers do not
// answer. Not bound to any address; the system picks the route to each
// receiver, so loopback receivers are reached over loopback.
class DdpSocket {
public:
    DdpSocket();
    ~DdpSocket();
    DdpSocket(const DdpSocket&) = delete;
    DdpSocket& operator=(const DdpSocket&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why the socket could not be opened; empty when it is open.
    const QString& openError() const { return m_openError; }

    // Every packet to every receiver, in order, each receiver's packets
    // together. Returns how many datagrams the system refused; the first
    // reason goes to `error` when given.
    int Send(const std::vector<QByteArray>& packets, const std::vector<DdpReceiver>& receivers,
             QString* error = nullptr);

private:
    int m_fd = -1;
    QString m_openError;
};
