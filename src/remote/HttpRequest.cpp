#include "HttpRequest.h"

#include <array>
#include <string_view>

namespace {

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    static constexpr std::string_view kExtra = "!#$%&'*+-.^_`|~";
    return kExtra.find(c) != std::string_view::npos;
}

bool IsToken(const QByteArray& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (char c : text) {
        if (!IsTokenChar(c)) {
            return false;
        }
    }
    return true;
}

bool HasControl(const QByteArray& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) {
            return true;
        }
    }
    return false;
}

HttpHeadParse Bad(int status) {
    HttpHeadParse parse;
    parse.state = HttpHeadParse::State::Bad;
    parse.status = status;
    return parse;
}

struct PageFile {
    const char* path;
    const char* resource;
    const char* contentType;
};

constexpr std::array<PageFile, 4> kFiles{{
    {"/", ":/remote/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/remote/web/index.html", "text/html; charset=utf-8"},
    {"/remote.js", ":/remote/web/remote.js", "text/javascript; charset=utf-8"},
    {"/remote.css", ":/remote/web/remote.css", "text/css; charset=utf-8"},
}};

HttpRoute Error(int status) {
    HttpRoute route;
    route.status = status;
    return route;
}

bool HeaderHasToken(const QByteArray& value, const QByteArray& token) {
    for (const QByteArray& part : value.split(',')) {
        if (part.trimmed().toLower() == token) {
            return true;
        }
    }
    return false;
}

QByteArray StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

QByteArray HttpRequestHead::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

HttpHeadParse ParseHttpHead(const QByteArray& received) {
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) {
        if (received.size() > kMaxHttpHead) {
            return Bad(431);
        }
        // A bare LF or a NUL before the end can never become a valid head.
        if (received.contains('\0')) {
            return Bad(400);
        }
        return {};
    }
    if (end + 4 > kMaxHttpHead) {
        return Bad(431);
    }
    const QList<QByteArray> lines = received.left(end).split('\n');
    HttpHeadParse parse;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (!line.endsWith('\r') && i + 1 < lines.size()) {
            return Bad(400); // a bare LF
        }
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.contains('\r')) {
            return Bad(400);
        }
        if (i == 0) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() != 3 || !IsToken(parts[0]) || parts[1].isEmpty() ||
                HasControl(parts[1])) {
                return Bad(400);
            }
            parse.head.method = parts[0];
            parse.head.target = parts[1];
            parse.head.version = parts[2];
            if (parse.head.version != "HTTP/1.1" && parse.head.version != "HTTP/1.0") {
                return Bad(400);
            }
            continue;
        }
        // No folded lines, no header without a name.
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.startsWith(' ') || line.startsWith('\t')) {
            return Bad(400);
        }
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!IsToken(name) || HasControl(value)) {
            return Bad(400);
        }
        if (parse.head.headers.size() >= kMaxHttpHeaders) {
            return Bad(431);
        }
        parse.head.headers.append({name.toLower(), value});
    }
    if (parse.head.method.isEmpty()) {
        return Bad(400);
    }
    parse.state = HttpHeadParse::State::Complete;
    return parse;
}

HttpRoute RouteHttpRequest(const HttpRequestHead& head) {
    const bool get = head.method == "GET";
    const bool headOnly = head.method == "HEAD";
    if (!get && !headOnly) {
        return Error(405);
    }
    // A GET carries no body here; one that says it does is not ours.
    const QByteArray length = head.header("content-length");
    if (!head.header("transfer-encoding").isEmpty() || (!length.isEmpty() && length != "0")) {
        return Error(400);
    }
    QByteArray path = head.target;
    if (const qsizetype query = path.indexOf('?'); query >= 0) {
        path.truncate(query);
    }
    if (path == "/ws") {
        if (!get || !HeaderHasToken(head.header("upgrade"), "websocket") ||
            !HeaderHasToken(head.header("connection"), "upgrade")) {
            return Error(400);
        }
        HttpRoute route;
        route.kind = HttpRoute::Kind::WebSocket;
        route.status = 101;
        return route;
    }
    for (const PageFile& file : kFiles) {
        if (path == file.path) {
            HttpRoute route;
            route.kind = HttpRoute::Kind::File;
            route.status = 200;
            route.resource = QString::fromLatin1(file.resource);
            route.contentType = file.contentType;
            route.headOnly = headOnly;
            return route;
        }
    }
    return Error(404);
}

QByteArray HttpResponse(int status, const QByteArray& contentType, const QByteArray& body,
                        bool headOnly) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + StatusText(status) + "\r\n";
    if (!contentType.isEmpty()) {
        out += "Content-Type: " + contentType + "\r\n";
    }
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    // The page and its script come from here only; nothing is cached, so a
    // phone never runs an old script against a newer station.
    out += "Cache-Control: no-store\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "X-Frame-Options: DENY\r\n"
           "Referrer-Policy: no-referrer\r\n"
           "Content-Security-Policy: default-src 'self'; connect-src 'self'; "
           "img-src 'self' data:; frame-ancestors 'none'\r\n"
           "Connection: close\r\n\r\n";
    if (!headOnly) {
        out += body;
    }
    return out;
}
