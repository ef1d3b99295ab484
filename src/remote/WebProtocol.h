#pragma once

#include "remote/RemoteCommand.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The web remote's messages over its WebSocket, JSON text frames both ways.
// Pure functions shared by the server and the fuzz target.
//
// From the page:
//   {"type":"auth","pin":"123456"}
//   {"type":"command","command":"next"}          prev, clear, connect, ...
//   {"type":"command","command":"go","number":5}  entry, brightness likewise
//   {"type":"command","command":"temp","row1":"...","row2":"..."}
// To the page:
//   {"type":"auth","ok":true} or {"type":"auth","ok":false,"reason":"..."}
//   {"type":"state", entry, entryName, line, text, next, connected, ...,
//    "lines":[...] when the line list changed}
//   {"type":"result","command":"go","ok":false,"reason":"..."}

// A text message longer than this is refused unread.
inline constexpr qsizetype kMaxWebMessage = 2048;

struct WebRequest {
    enum class Kind { Auth, Command };
    Kind kind = Kind::Command;
    QString pin;
    RemoteCommand command;
};

struct WebParse {
    std::optional<WebRequest> request;
    QString error; // set when request is not
};

WebParse ParseWebMessage(const QString& text);

QString WebAuthReply(bool ok, const QString& reason = {});
// `lines` only when the page must (re)load the line list.
QString WebStateMessage(const RemoteShowState& state, const QStringList* lines);
QString WebResultMessage(RemoteVerb verb, const RemoteResult& result);
QString WebErrorMessage(const QString& reason);
