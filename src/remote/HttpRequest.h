#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The little HTTP the web remote speaks: GET (and HEAD) of its own page files
// and the WebSocket upgrade, nothing else. Each connection carries one request
// and is closed after the answer. Pure functions shared by the server and the
// fuzz target.

// A request head longer than this is refused (431) before it is parsed.
inline constexpr qsizetype kMaxHttpHead = 8192;
inline constexpr int kMaxHttpHeaders = 64;

struct HttpRequestHead {
    QByteArray method;
    QByteArray target; // as sent, with any query
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case

    // The value of the first header of that (lower-case) name, empty if none.
    QByteArray header(const QByteArray& name) const;
};

struct HttpHeadParse {
    enum class State { Incomplete, Complete, Bad };
    State state = State::Incomplete;
    int status = 0; // for Bad: 400 or 431
    HttpRequestHead head;
};

// `received` is everything read from the connection so far.
HttpHeadParse ParseHttpHead(const QByteArray& received);

struct HttpRoute {
    enum class Kind { File, WebSocket, Error };
    Kind kind = Kind::Error;
    int status = 404;
    QString resource; // Qt resource of the file
    QByteArray contentType;
    bool headOnly = false;
};

// Where a complete head goes: one of the page's files, the WebSocket of the
// remote, or an error status.
HttpRoute RouteHttpRequest(const HttpRequestHead& head);

// A whole response; the connection closes after it.
QByteArray HttpResponse(int status, const QByteArray& contentType, const QByteArray& body,
                        bool headOnly = false);
