#include "RemoteMonitor.h"

namespace {
constexpr std::chrono::seconds kReportEvery{1};
}

void RemoteMonitor::SetSink(std::function<void(const QString&)> sink) {
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void RemoteMonitor::Note(Kind kind, const QString& from) {
    const auto index = static_cast<std::size_t>(kind);
    m_counts[index].fetch_add(1, std::memory_order_relaxed);
    std::function<void(const QString&)> sink;
    long long pending = 0;
    QString source;
    {
        std::lock_guard lock(m_mutex);
        ++m_unreported[index];
        m_lastFrom[index] = QString(from.constData(), from.size());
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastReport[index] < kReportEvery || !m_sink) {
            return;
        }
        m_lastReport[index] = now;
        pending = m_unreported[index];
        m_unreported[index] = 0;
        source = m_lastFrom[index];
        sink = m_sink;
    }
    sink(
        QStringLiteral("远程控制：") + KindText(kind) + QStringLiteral(" ×") +
        QString::number(pending) +
        (source.isEmpty() ? QString() : QStringLiteral("（来自 ") + source + QStringLiteral("）")));
}

void RemoteMonitor::Flush() {
    for (std::size_t i = 0; i < kKinds; ++i) {
        std::function<void(const QString&)> sink;
        long long pending = 0;
        QString source;
        {
            std::lock_guard lock(m_mutex);
            if (m_unreported[i] == 0 || !m_sink) {
                continue;
            }
            pending = m_unreported[i];
            m_unreported[i] = 0;
            m_lastReport[i] = std::chrono::steady_clock::now();
            source = m_lastFrom[i];
            sink = m_sink;
        }
        sink(QStringLiteral("远程控制：") + KindText(static_cast<Kind>(i)) + QStringLiteral(" ×") +
             QString::number(pending) +
             (source.isEmpty() ? QString()
                               : QStringLiteral("（来自 ") + source + QStringLiteral("）")));
    }
}

long long RemoteMonitor::count(Kind kind) const {
    return m_counts[static_cast<std::size_t>(kind)].load(std::memory_order_relaxed);
}

long long RemoteMonitor::total() const {
    long long sum = 0;
    for (const auto& c : m_counts) {
        sum += c.load(std::memory_order_relaxed);
    }
    return sum;
}

QString RemoteMonitor::KindText(Kind kind) {
    switch (kind) {
    case Kind::OscOversized:
        return QStringLiteral("过大的 OSC 数据包");
    case Kind::OscMalformed:
        return QStringLiteral("格式错误的 OSC 数据包");
    case Kind::OscUnknownAddress:
        return QStringLiteral("未知 OSC 地址");
    case Kind::OscWrongArguments:
        return QStringLiteral("OSC 参数错误");
    case Kind::OscClientNotAllowed:
        return QStringLiteral("不在允许列表中的 OSC 客户端");
    case Kind::OscFlood:
        return QStringLiteral("OSC 命令过多，已丢弃");
    case Kind::OscTooManyClients:
        return QStringLiteral("OSC 订阅或客户端过多");
    case Kind::HttpBadRequest:
        return QStringLiteral("错误的网页请求");
    case Kind::HttpTimeout:
        return QStringLiteral("网页请求超时");
    case Kind::WebTooManyConnections:
        return QStringLiteral("网页遥控连接过多，已拒绝");
    case Kind::WebBadFrame:
        return QStringLiteral("错误的 WebSocket 帧");
    case Kind::WebBadMessage:
        return QStringLiteral("错误的网页遥控消息");
    case Kind::WebWrongPin:
        return QStringLiteral("网页遥控 PIN 错误");
    case Kind::WebPinLocked:
        return QStringLiteral("PIN 错误过多，暂时拒绝");
    case Kind::WebFlood:
        return QStringLiteral("网页遥控消息过多，已断开");
    case Kind::Count_:
        break;
    }
    return {};
}
