#include "RemoteControl.h"

#include "RemoteCommandSet.h"

RemoteControl::RemoteControl(RemoteCommandSet& commands, QObject* parent)
    : QObject(parent), m_commands(commands), m_osc(m_monitor), m_web(m_monitor) {
    m_flushTimer.setInterval(1000);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { m_monitor.Flush(); });
    connect(&m_commands, &RemoteCommandSet::stateChanged, this, &RemoteControl::PublishState);
}

RemoteControl::~RemoteControl() {
    StopAll();
}

void RemoteControl::StopAll() {
    m_osc.Stop();
    m_web.Stop();
    m_flushTimer.stop();
    m_monitor.Flush();
    emit statusChanged();
}

QStringList RemoteControl::Apply(const RemoteSettings& settings,
                                 const std::vector<QHostAddress>& showNetwork) {
    m_osc.Stop();
    m_web.Stop();
    QStringList errors;
    m_pin = settings.pin.isEmpty() ? GeneratePin() : settings.pin;
    m_where.clear();
    m_everywhere = false;
    if (settings.oscEnabled || settings.webEnabled) {
        const ListenAddresses listen = ResolveListenAddresses(settings.listen, showNetwork);
        if (!listen.error.isEmpty()) {
            errors << QStringLiteral("远程控制未启动：") + listen.error;
        } else {
            m_everywhere = listen.everywhere;
            QStringList texts;
            for (const QHostAddress& address : listen.addresses) {
                texts << address.toString();
            }
            m_where = texts.join(QLatin1Char(','));
            const auto submit = [this](const RemoteCommand& command, OscServer::Reply reply) {
                Submit(command, reply);
            };
            if (settings.oscEnabled) {
                OscServerConfig config;
                config.listen = listen.addresses;
                config.port = static_cast<quint16>(settings.oscPort);
                for (const QString& allowed : settings.oscAllowed) {
                    config.allowed.emplace_back(allowed);
                }
                const QString error = m_osc.Start(config, submit);
                if (!error.isEmpty()) {
                    errors << error;
                }
            }
            if (settings.webEnabled) {
                WebServerConfig config;
                config.listen = listen.addresses;
                config.port = static_cast<quint16>(settings.webPort);
                config.pin = m_pin;
                const QString error = m_web.Start(config, submit);
                if (!error.isEmpty()) {
                    errors << error;
                }
            }
        }
    }
    if (m_osc.running() || m_web.running()) {
        m_flushTimer.start();
        // Whoever connects first hears the show as it stands.
        PublishState(m_commands.State(), true);
    } else {
        m_flushTimer.stop();
    }
    emit statusChanged();
    return errors;
}

void RemoteControl::Submit(const RemoteCommand& command, const OscServer::Reply& reply) {
    // Called on a server's thread. The servers stop (and join their threads)
    // before this object goes, so `this` outlives every call; a command still
    // queued when it goes is dropped with it.
    QMetaObject::invokeMethod(
        this, [this, command, reply] { reply(m_commands.Execute(command)); }, Qt::QueuedConnection);
}

void RemoteControl::PublishState(const RemoteShowState& state, bool linesChanged) {
    if (m_osc.running()) {
        m_osc.Publish(state);
    }
    if (m_web.running()) {
        const QStringList lines = linesChanged ? m_commands.Lines() : QStringList();
        m_web.Publish(state, linesChanged ? &lines : nullptr);
    }
}

QString RemoteControl::StatusText() const {
    if (!m_osc.running() && !m_web.running()) {
        return {};
    }
    QStringList parts;
    parts << QStringLiteral("遥控@") + (m_everywhere ? QStringLiteral("所有地址") : m_where);
    if (m_osc.running()) {
        parts << QStringLiteral("OSC:") + QString::number(m_osc.port());
    }
    if (m_web.running()) {
        parts << QStringLiteral("网页:") + QString::number(m_web.port()) + QStringLiteral(" PIN ") +
                     m_pin;
    }
    return parts.join(QLatin1Char(' '));
}
