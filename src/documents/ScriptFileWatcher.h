#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the file of the open script is written by another program: a
// translator fixing a line in their own editor during the rehearsal. Editors
// save by writing in place, or by writing a new file and renaming it over the
// old one (which ends a plain file watch), so the folder is watched too and
// the file taken up again when it reappears. Several writes in quick
// succession are reported once, after they have settled. The station's own
// saves are reported as well; the document tells them apart by content.
// User-interface thread only.
class ScriptFileWatcher : public QObject {
    Q_OBJECT
public:
    explicit ScriptFileWatcher(QObject* parent = nullptr);

    // Watches `path` from now on (empty: nothing). The same path again
    // changes nothing.
    void Follow(const QString& path);
    const QString& path() const { return m_path; }

    static constexpr int kSettleMs = 300;

signals:
    void changed();

private:
    void Settle();
    void Settled();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_path;
};
