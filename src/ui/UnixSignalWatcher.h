#pragma once

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

// SIGTERM and SIGINT must close the station like its close command, so a
// logout or a Ctrl+C loses nothing. The handler only writes the signal number
// to a socket pair (all it may safely do); a notifier on the user-interface
// thread reads it and emits received() there, from the event loop.
// One watcher per process: the handler has a single place to write to, so a
// second watcher while one exists is a programming error and aborts.
// Create and destroy on the user-interface thread.
class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~UnixSignalWatcher() override; // restores the previous handlers

signals:
    void received(int signalNumber);

private:
    void ReadPending();

    struct Previous {
        int signalNumber;
        struct sigaction action;
    };
    std::vector<Previous> m_previous;
    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
