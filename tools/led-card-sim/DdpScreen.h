#pragma once

#include "link/LinkConfig.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A DDP receiver as open LED players have one: it listens on a UDP port,
// gathers the pixel data of a frame (24-bit RGB from offset 0, row by row)
// and shows it when the PUSH flag comes. The wall's size is configured, as
// on a real player; data beyond it is ignored, and what a frame does not
// send keeps its last value (black at the start).
//
// Threads: one receiving thread, started by Start and joined by Stop; the
// picture and the counters are read under a lock from any thread.
class DdpScreen {
public:
    DdpScreen(Ipv4Address bind, int port, QSize size);
    ~DdpScreen();
    DdpScreen(const DdpScreen&) = delete;
    DdpScreen& operator=(const DdpScreen&) = delete;

    // Binds the port; the message tells why it failed.
    bool Start(QString* error);
    void Stop();

    int port() const { return m_port; } // the bound port (useful when 0 was asked)
    QSize size() const { return m_size; }
    QImage Picture() const;
    long long Frames() const;
    // Called on the receiving thread with one line per frame shown.
    void SetLogSink(std::function<void(const QString&)> sink) { m_log = std::move(sink); }

private:
    void Run();

    Ipv4Address m_bind;
    int m_port;
    QSize m_size;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::function<void(const QString&)> m_log;
    mutable std::mutex m_mutex;
    QImage m_picture;
    long long m_frames = 0;
    std::thread m_thread;
};
