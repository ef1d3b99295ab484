#pragma once

#include "remote/OscServer.h"
#include "remote/RemoteMonitor.h"
#include "remote/RemoteSettings.h"
#include "remote/WebRemote.h"

#include <QObject>
#include <QTimer>

class RemoteCommandSet;

// The remotes of one station: the OSC server and the web remote, started and
// stopped as the options say, feeding the one command set and hearing its
// state. Commands arrive on the servers' threads and are run here, on the
// user-interface thread, by queued invocation, one at a time in the order
// they came.
//
// User-interface thread only (the servers' submit functions excepted).
class RemoteControl : public QObject {
    Q_OBJECT
public:
    explicit RemoteControl(RemoteCommandSet& commands, QObject* parent = nullptr);
    ~RemoteControl() override;

    RemoteMonitor& monitor() { return m_monitor; }

    // Stops what runs and starts what `settings` switch on, listening where
    // they say (empty: on `showNetwork`). Returns one error text per remote
    // that could not start; the other one runs all the same.
    QStringList Apply(const RemoteSettings& settings, const std::vector<QHostAddress>& showNetwork);
    void StopAll();

    bool oscRunning() const { return m_osc.running(); }
    bool webRunning() const { return m_web.running(); }
    quint16 oscPort() const { return m_osc.port(); }
    quint16 webPort() const { return m_web.port(); }
    // The PIN in force (generated when the options give none).
    const QString& pin() const { return m_pin; }
    // For the status line: where the remotes listen and the PIN; empty when both are off.
    QString StatusText() const;

    OscServer& osc() { return m_osc; }
    WebRemote& web() { return m_web; }

signals:
    void statusChanged();

private:
    void Submit(const RemoteCommand& command, const OscServer::Reply& reply);
    void PublishState(const RemoteShowState& state, bool linesChanged);

    RemoteCommandSet& m_commands;
    RemoteMonitor m_monitor;
    OscServer m_osc;
    WebRemote m_web;
    QTimer m_flushTimer;
    QString m_pin;
    QString m_where;
    bool m_everywhere = false;
};
