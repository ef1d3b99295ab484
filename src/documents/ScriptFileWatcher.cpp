#include "ScriptFileWatcher.h"

#include <QFileInfo>

ScriptFileWatcher::ScriptFileWatcher(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &ScriptFileWatcher::Settled);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { Settle(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        // Any file of the folder: only the return of ours matters here.
        if (!m_path.isEmpty() && !m_watcher.files().contains(m_path) &&
            QFileInfo(m_path).isFile()) {
            Settle();
        }
    });
}

void ScriptFileWatcher::Follow(const QString& path) {
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (absolute == m_path) {
        return;
    }
    m_settle.stop();
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty()) {
        m_watcher.removePaths(watched);
    }
    m_path = absolute;
    if (m_path.isEmpty()) {
        return;
    }
    m_watcher.addPath(QFileInfo(m_path).absolutePath());
    if (QFileInfo(m_path).isFile()) {
        m_watcher.addPath(m_path);
    }
}

void ScriptFileWatcher::Settle() {
    m_settle.start();
}

void ScriptFileWatcher::Settled() {
    if (m_path.isEmpty()) {
        return;
    }
    if (!m_watcher.files().contains(m_path) && QFileInfo(m_path).isFile()) {
        m_watcher.addPath(m_path);
    }
    emit changed();
}
