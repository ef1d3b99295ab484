#pragma once

#include "remote/RemoteCommand.h"

#include "documents/SubtitleDocument.h"

#include <QObject>
#include <QStringList>

class DocumentSession;
class PlaybackController;
class Playlist;
class RemoteStationHost;

// The one command set of every remote: each command runs through the same
// controller calls as the window's keys, buttons and lists (the player's
// key step, line choice, entry opening and link toggle; the window's live
// commands through RemoteStationHost), and is refused with a reason wherever
// the window would not let the operator do it, and always while a modal
// dialog is open or a command waits for the cards.
//
// It also keeps the show state the remotes report: the window says when
// something may have changed (StateMayHaveChanged), and stateChanged follows
// once per turn of the event loop when it really did.
//
// User-interface thread only.
class RemoteCommandSet : public QObject {
    Q_OBJECT
public:
    RemoteCommandSet(PlaybackController& player, const DocumentSession& document,
                     const Playlist& playlist, RemoteStationHost& host, QObject* parent = nullptr);

    RemoteResult Execute(const RemoteCommand& command);

    RemoteShowState State() const;
    // The texts of the open entry's lines.
    QStringList Lines() const;

    void StateMayHaveChanged();

signals:
    // `linesChanged`: the line list differs from the one last reported.
    void stateChanged(const RemoteShowState& state, bool linesChanged);

private:
    RemoteResult Run(const RemoteCommand& command);
    RemoteResult Step(int direction);
    void Publish();

    PlaybackController& m_player;
    const DocumentSession& m_document;
    const Playlist& m_playlist;
    RemoteStationHost& m_host;
    RemoteShowState m_reported;
    LineList m_reportedLines;
    quint64 m_linesVersion = 1;
    bool m_publishQueued = false;
};
