#include "WebRemote.h"

#include "WebRemoteServer.h"

#include <QThread>

// The page files are compiled into this static library; their resource
// initialiser must be called by name or the linker leaves it out.
static void InitPageResources() {
    Q_INIT_RESOURCE(remote);
}

WebRemote::WebRemote(RemoteMonitor& monitor) : m_monitor(monitor) {
    InitPageResources();
}

WebRemote::~WebRemote() {
    Stop();
}

QString WebRemote::Start(const WebServerConfig& config, Submit submit) {
    Stop();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("web remote"));
    m_server = new WebRemoteServer(m_monitor, std::move(submit));
    m_server->moveToThread(m_thread.get());
    m_thread->start();
    QString error;
    quint16 port = 0;
    QMetaObject::invokeMethod(
        m_server, [this, &config, &error, &port] { error = m_server->Listen(config, &port); },
        Qt::BlockingQueuedConnection);
    if (!error.isEmpty()) {
        Stop();
        return error;
    }
    m_port = port;
    return {};
}

void WebRemote::Stop() {
    if (m_server == nullptr) {
        return;
    }
    // The sockets end on their own thread; the server object, with nothing
    // left on it, once that thread has ended.
    QMetaObject::invokeMethod(
        m_server, [this] { m_server->Shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_server;
    m_server = nullptr;
    m_thread.reset();
    m_port = 0;
}

void WebRemote::Publish(const RemoteShowState& state, const QStringList* lines) {
    if (m_server == nullptr) {
        return;
    }
    std::optional<QStringList> copy;
    if (lines != nullptr) {
        copy = *lines;
    }
    WebRemoteServer* server = m_server;
    QMetaObject::invokeMethod(
        server, [server, state, copy] { server->Publish(state, copy); }, Qt::QueuedConnection);
}

int WebRemote::connections() const {
    return m_server != nullptr ? m_server->connections.load() : 0;
}
