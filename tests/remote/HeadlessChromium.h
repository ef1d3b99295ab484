#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <optional>

// Debian's chromium, headless, driven through its DevTools protocol over a
// WebSocket on loopback: a phone's browser for the web remote's tests and
// screenshots.
//
// Nothing may leave this machine: every host name resolves to nothing but
// 127.0.0.1, everything not on loopback goes to a proxy that does not exist,
// and the services that talk to the network by themselves (updates, sync,
// device discovery by multicast) are off.
class HeadlessChromium {
public:
    static QString Executable() {
        for (const char* name : {"chromium", "chromium-browser"}) {
            const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!path.isEmpty()) {
                return path;
            }
        }
        return {};
    }

    ~HeadlessChromium() {
        m_socket.close();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
        // The browser leaves files without write permission in its profile.
        QDirIterator it(m_profile.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile::setPermissions(it.next(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    // Starts the browser with a phone-sized page; an error text, or empty.
    QString Start() {
        const QStringList args{
            QStringLiteral("--headless=new"),
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--disable-gpu"),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-extensions"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--disable-domain-reliability"),
            QStringLiteral("--disable-client-side-phishing-detection"),
            QStringLiteral("--no-pings"),
            QStringLiteral("--dns-prefetch-disable"),
            QStringLiteral("--disable-features=MediaRouter,DialMediaRouteProvider,"
                           "OptimizationHints,Translate,AutofillServerCommunication"),
            QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"),
            QStringLiteral("--proxy-server=127.0.0.1:9"),
            QStringLiteral("--remote-debugging-address=127.0.0.1"),
            QStringLiteral("--remote-debugging-port=0"),
            QStringLiteral("--remote-allow-origins=*"),
            QStringLiteral("--user-data-dir=") + m_profile.path(),
            QStringLiteral("--window-size=390,844"),
            QStringLiteral("about:blank"),
        };
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(Executable(), args);
        if (!m_process.waitForStarted(10000)) {
            return QStringLiteral("chromium did not start");
        }
        // The browser writes the port it chose into its profile.
        QByteArray port;
        if (!QTest::qWaitFor(
                [&] {
                    QFile file(
                        QDir(m_profile.path()).filePath(QStringLiteral("DevToolsActivePort")));
                    if (file.open(QIODevice::ReadOnly)) {
                        port = file.readLine().trimmed();
                    }
                    return !port.isEmpty();
                },
                30000)) {
            return QStringLiteral("chromium wrote no DevTools port");
        }
        const QJsonArray targets =
            GetJson(QStringLiteral("http://127.0.0.1:%1/json/list").arg(QString::fromLatin1(port)))
                .array();
        QString pageUrl;
        for (const QJsonValue& target : targets) {
            if (target.toObject().value(QLatin1String("type")).toString() ==
                QLatin1String("page")) {
                pageUrl = target.toObject().value(QLatin1String("webSocketDebuggerUrl")).toString();
                break;
            }
        }
        if (pageUrl.isEmpty()) {
            return QStringLiteral("chromium shows no page");
        }
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains(QLatin1String("id"))) {
                m_replies.insert(message.value(QLatin1String("id")).toInt(), message);
            }
        });
        m_socket.open(QUrl(pageUrl));
        if (!QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                             10000)) {
            return QStringLiteral("the DevTools socket did not open");
        }
        Call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
             {{QStringLiteral("width"), 390},
              {QStringLiteral("height"), 844},
              {QStringLiteral("deviceScaleFactor"), 2},
              {QStringLiteral("mobile"), true}});
        Call(QStringLiteral("Emulation.setTouchEmulationEnabled"),
             {{QStringLiteral("enabled"), true}, {QStringLiteral("maxTouchPoints"), 1}});
        return {};
    }

    // One DevTools command; its result, or nullopt on an error or no answer.
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params = {}) {
        const int id = ++m_lastId;
        m_socket.sendTextMessage(
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                                        {QStringLiteral("method"), method},
                                                        {QStringLiteral("params"), params}})
                                  .toJson(QJsonDocument::Compact)));
        if (!QTest::qWaitFor([&] { return m_replies.contains(id); }, 15000)) {
            return std::nullopt;
        }
        const QJsonObject reply = m_replies.take(id);
        if (reply.contains(QLatin1String("error"))) {
            return std::nullopt;
        }
        return reply.value(QLatin1String("result")).toObject();
    }

    bool Navigate(const QString& url) {
        return Call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}).has_value();
    }

    // The value of a script expression in the page.
    QJsonValue Evaluate(const QString& expression) {
        const std::optional<QJsonObject> result =
            Call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression},
                                                      {QStringLiteral("returnByValue"), true}});
        if (!result) {
            return {};
        }
        return result->value(QLatin1String("result")).toObject().value(QLatin1String("value"));
    }

    // A finger's tap in the middle of the element.
    bool Tap(const QString& selector) {
        const QJsonArray at =
            Evaluate(QStringLiteral("(() => { const e = document.querySelector(%1);"
                                    " if (!e) return null; e.scrollIntoView({block:'center'});"
                                    " const r = e.getBoundingClientRect();"
                                    " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
                         .arg(Quoted(selector)))
                .toArray();
        if (at.size() != 2) {
            return false;
        }
        const QJsonArray point{
            QJsonObject{{QStringLiteral("x"), at[0]}, {QStringLiteral("y"), at[1]}}};
        return Call(QStringLiteral("Input.dispatchTouchEvent"),
                    {{QStringLiteral("type"), QStringLiteral("touchStart")},
                     {QStringLiteral("touchPoints"), point}})
                   .has_value() &&
               Call(QStringLiteral("Input.dispatchTouchEvent"),
                    {{QStringLiteral("type"), QStringLiteral("touchEnd")},
                     {QStringLiteral("touchPoints"), QJsonArray()}})
                   .has_value();
    }

    // Text typed into the focused field.
    bool Type(const QString& text) {
        return Call(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), text}})
            .has_value();
    }

    QByteArray Screenshot() {
        const std::optional<QJsonObject> result =
            Call(QStringLiteral("Page.captureScreenshot"),
                 {{QStringLiteral("format"), QStringLiteral("png")}});
        return result ? QByteArray::fromBase64(
                            result->value(QLatin1String("data")).toString().toLatin1())
                      : QByteArray();
    }

    static QString Quoted(const QString& text) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    }

private:
    static QJsonDocument GetJson(const QString& url) {
        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000);
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
        reply->deleteLater();
        return document;
    }

    QTemporaryDir m_profile;
    QProcess m_process;
    QWebSocket m_socket;
    int m_lastId = 0;
    QHash<int, QJsonObject> m_replies;
};
