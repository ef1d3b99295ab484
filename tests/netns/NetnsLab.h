#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Network namespaces joined by veth pairs, made for one test and always
// removed. Every interface is created inside a namespace of the lab (never in
// the namespace the test runs in), and addresses come from 198.51.100.0/24,
// so nothing the lab does can reach the machine's own network.
//
// Names carry the test's PID ("stnet<pid>-<role>"). The destructor stops the
// lab's processes and deletes its namespaces; SIGINT, SIGTERM and SIGHUP do the
// same before the process ends; and a lab deletes what a killed earlier run
// left behind (names whose PID no longer runs).
class NetnsLab {
public:
    NetnsLab();
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Empty when namespaces can be made here; otherwise why not (for a skip).
    static QString Unavailable();

    // Creates the namespace "<prefix><role>" and returns its name (empty on failure).
    QString AddNamespace(const QString& role);
    // `ip -n ns ARGS`; false (and error() set) on failure.
    bool Ip(const QString& ns, const QStringList& args);
    // A veth pair with one end in each namespace, both ends up.
    bool Veth(const QString& nsA, const QString& ifA, const QString& nsB, const QString& ifB);
    // Writes a value under /proc/sys/net inside the namespace.
    bool Sysctl(const QString& ns, const QString& key, const QString& value);

    // Starts `program ARGS` inside the namespace; the lab stops it at the end.
    QProcess* Start(const QString& ns, const QString& program, const QStringList& args);
    struct Finished {
        bool ok = false; // ended by itself in time, exit code 0
        QString out;
        QString err;
    };
    Finished Run(const QString& ns, const QString& program, const QStringList& args, int timeoutMs);

    const QString& error() const { return m_error; }

private:
    QString m_prefix;
    QString m_error;
    std::vector<QString> m_namespaces;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
