#include "NetnsLab.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString IpProgram() {
    QString found = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (found.isEmpty()) {
        found = QStandardPaths::findExecutable(
            QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    }
    return found;
}

struct Outcome {
    bool ok = false;
    QString out;
    QString err;
};

Outcome RunIp(const QStringList& args) {
    QProcess process;
    process.start(IpProgram(), args);
    Outcome outcome;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        outcome.err = QStringLiteral("ip %1: no answer").arg(args.join(QLatin1Char(' ')));
        return outcome;
    }
    outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    outcome.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return outcome;
}

// What the signal handler needs, in plain memory: it may only fork, exec and wait.
constexpr int kMaxNamespaces = 16;
char g_ip[512];
char g_names[kMaxNamespaces][64];
volatile sig_atomic_t g_count = 0;
constexpr int kMaxProcesses = 32;
pid_t g_pids[kMaxProcesses];
volatile sig_atomic_t g_pidCount = 0;

void DeleteOnSignal(int signal) {
    // The lab's processes first, or the namespaces would outlive their names.
    for (int i = 0; i < g_pidCount; ++i) {
        if (g_pids[i] > 0) {
            ::kill(g_pids[i], SIGKILL);
        }
    }
    for (int i = 0; i < g_count; ++i) {
        if (g_names[i][0] == '\0') {
            continue;
        }
        const pid_t child = fork();
        if (child == 0) {
            char netns[] = "netns";
            char del[] = "del";
            char* argv[] = {g_ip, netns, del, g_names[i], nullptr};
            execv(g_ip, argv);
            _exit(127);
        }
        if (child > 0) {
            int status = 0;
            waitpid(child, &status, 0);
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void Register(const QString& name) {
    const QByteArray bytes = name.toLocal8Bit();
    for (int i = 0; i < g_count; ++i) {
        if (g_names[i][0] == '\0') {
            std::strncpy(g_names[i], bytes.constData(), sizeof g_names[i] - 1);
            return;
        }
    }
    if (g_count < kMaxNamespaces) {
        std::strncpy(g_names[g_count], bytes.constData(), sizeof g_names[0] - 1);
        g_count = g_count + 1;
    }
}

void Unregister(const QString& name) {
    const QByteArray bytes = name.toLocal8Bit();
    for (int i = 0; i < g_count; ++i) {
        if (bytes == g_names[i]) {
            g_names[i][0] = '\0';
        }
    }
}

const QString kPrefix = QStringLiteral("stnet");

// Namespaces of earlier runs that were killed before they could clean up.
void DeleteLeftovers() {
    static const QRegularExpression ours(QStringLiteral("^stnet(\\d+)-\\S+"));
    const Outcome list = RunIp({QStringLiteral("netns"), QStringLiteral("list")});
    for (const QString& line : list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = ours.match(line.trimmed());
        if (!match.hasMatch()) {
            continue;
        }
        const pid_t owner = static_cast<pid_t>(match.captured(1).toLongLong());
        if (owner != getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
            RunIp({QStringLiteral("netns"), QStringLiteral("del"), match.captured(0)});
        }
    }
}

} // namespace

QString NetnsLab::Unavailable() {
    if (geteuid() != 0) {
        return QStringLiteral("creating network namespaces needs root (running as uid %1)")
            .arg(geteuid());
    }
    if (IpProgram().isEmpty()) {
        return QStringLiteral("the ip command (iproute2) is not installed");
    }
    const QString probe = kPrefix + QString::number(getpid()) + QStringLiteral("-probe");
    const Outcome added = RunIp({QStringLiteral("netns"), QStringLiteral("add"), probe});
    if (!added.ok) {
        return QStringLiteral("this machine does not allow `ip netns add`: ") + added.err;
    }
    RunIp({QStringLiteral("netns"), QStringLiteral("del"), probe});
    return {};
}

NetnsLab::NetnsLab() : m_prefix(kPrefix + QString::number(getpid()) + QLatin1Char('-')) {
    const QByteArray ip = IpProgram().toLocal8Bit();
    std::strncpy(g_ip, ip.constData(), sizeof g_ip - 1);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, &DeleteOnSignal);
    }
    DeleteLeftovers();
}

NetnsLab::~NetnsLab() {
    // Processes first: a namespace lives on while a process runs in it.
    for (auto& process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
    m_processes.clear();
    g_pidCount = 0;
    for (auto it = m_namespaces.rbegin(); it != m_namespaces.rend(); ++it) {
        RunIp({QStringLiteral("netns"), QStringLiteral("del"), *it});
        Unregister(*it);
    }
}

QString NetnsLab::AddNamespace(const QString& role) {
    const QString name = m_prefix + role;
    // Registered before it exists, so a signal in between still removes it.
    Register(name);
    m_namespaces.push_back(name);
    const Outcome added = RunIp({QStringLiteral("netns"), QStringLiteral("add"), name});
    if (!added.ok) {
        m_error = QStringLiteral("ip netns add %1: %2").arg(name, added.err);
        return {};
    }
    return name;
}

bool NetnsLab::Ip(const QString& ns, const QStringList& args) {
    const Outcome outcome = RunIp(QStringList{QStringLiteral("-n"), ns} + args);
    if (!outcome.ok) {
        m_error =
            QStringLiteral("ip -n %1 %2: %3").arg(ns, args.join(QLatin1Char(' ')), outcome.err);
    }
    return outcome.ok;
}

bool NetnsLab::Veth(const QString& nsA, const QString& ifA, const QString& nsB,
                    const QString& ifB) {
    // Created inside nsA with its peer placed straight into nsB: neither end
    // ever exists in the test's own namespace.
    return Ip(nsA, {QStringLiteral("link"), QStringLiteral("add"), ifA, QStringLiteral("type"),
                    QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), ifB,
                    QStringLiteral("netns"), nsB}) &&
           Ip(nsA, {QStringLiteral("link"), QStringLiteral("set"), ifA, QStringLiteral("up")}) &&
           Ip(nsB, {QStringLiteral("link"), QStringLiteral("set"), ifB, QStringLiteral("up")});
}

bool NetnsLab::Sysctl(const QString& ns, const QString& key, const QString& value) {
    QString path = key;
    path.replace(QLatin1Char('.'), QLatin1Char('/'));
    const Finished written = Run(
        ns, QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("echo %1 > /proc/sys/%2").arg(value, path)}, 5000);
    if (!written.ok) {
        m_error = QStringLiteral("sysctl %1=%2 in %3: %4").arg(key, value, ns, written.err);
    }
    return written.ok;
}

QProcess* NetnsLab::Start(const QString& ns, const QString& program, const QStringList& args) {
    auto process = std::make_unique<QProcess>();
    // `ip netns exec` replaces itself with the program, so stopping this
    // process stops the program.
    process->start(IpProgram(),
                   QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns, program} +
                       args);
    process->waitForStarted(5000);
    if (g_pidCount < kMaxProcesses && process->processId() > 0) {
        g_pids[g_pidCount] = static_cast<pid_t>(process->processId());
        g_pidCount = g_pidCount + 1;
    }
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

NetnsLab::Finished NetnsLab::Run(const QString& ns, const QString& program, const QStringList& args,
                                 int timeoutMs) {
    QProcess* process = Start(ns, program, args);
    Finished finished;
    const bool ended = process->waitForFinished(timeoutMs);
    finished.out = QString::fromUtf8(process->readAllStandardOutput());
    finished.err = QString::fromUtf8(process->readAllStandardError());
    finished.ok =
        ended && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    if (!ended) {
        finished.err += QStringLiteral("\n(no end within %1 ms)").arg(timeoutMs);
    }
    return finished;
}
