#include "WebProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

WebParse Error(const QString& why) {
    WebParse parse;
    parse.error = why;
    return parse;
}

QString Compact(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A whole number that JSON carried as a number (never a string).
std::optional<int> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 1000000.0) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

} // namespace

WebParse ParseWebMessage(const QString& text) {
    if (text.size() > kMaxWebMessage) {
        return Error(QStringLiteral("消息太长"));
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return Error(QStringLiteral("消息不是 JSON 对象"));
    }
    const QJsonObject object = document.object();
    const QString type = object.value(QLatin1String("type")).toString();
    if (type == QLatin1String("auth")) {
        const QJsonValue pin = object.value(QLatin1String("pin"));
        if (!pin.isString() || pin.toString().size() > 32) {
            return Error(QStringLiteral("PIN 格式错误"));
        }
        WebParse parse;
        parse.request = WebRequest{WebRequest::Kind::Auth, pin.toString(), {}};
        return parse;
    }
    if (type != QLatin1String("command")) {
        return Error(QStringLiteral("未知的消息类型"));
    }
    const std::optional<RemoteVerb> verb =
        RemoteVerbFromName(object.value(QLatin1String("command")).toString());
    if (!verb) {
        return Error(QStringLiteral("未知的命令"));
    }
    RemoteCommand command;
    command.verb = *verb;
    switch (*verb) {
    case RemoteVerb::GoToLine:
    case RemoteVerb::SelectEntry:
    case RemoteVerb::Brightness: {
        const std::optional<int> number = WholeNumber(object.value(QLatin1String("number")));
        if (!number) {
            return Error(QStringLiteral("需要一个整数"));
        }
        if (*verb == RemoteVerb::Brightness ? (*number < 0 || *number > kMaxBrightnessLevel)
                                            : *number < 1) {
            return Error(*verb == RemoteVerb::Brightness ? QStringLiteral("亮度应为0到16")
                                                         : QStringLiteral("序号从1开始"));
        }
        command.number = *number;
        break;
    }
    case RemoteVerb::TempText: {
        const QJsonValue row1 = object.value(QLatin1String("row1"));
        const QJsonValue row2 = object.value(QLatin1String("row2"));
        if (!row1.isString() || !(row2.isString() || row2.isUndefined())) {
            return Error(QStringLiteral("需要一行或两行文字"));
        }
        command.row1 = row1.toString();
        command.row2 = row2.toString();
        if (command.row1.size() > kMaxRemoteRowLength ||
            command.row2.size() > kMaxRemoteRowLength) {
            return Error(QStringLiteral("文字太长"));
        }
        break;
    }
    default:
        break;
    }
    WebParse parse;
    parse.request = WebRequest{WebRequest::Kind::Command, {}, command};
    return parse;
}

QString WebAuthReply(bool ok, const QString& reason) {
    QJsonObject object{{QStringLiteral("type"), QStringLiteral("auth")},
                       {QStringLiteral("ok"), ok}};
    if (!ok) {
        object.insert(QStringLiteral("reason"), reason);
    }
    return Compact(object);
}

QString WebStateMessage(const RemoteShowState& state, const QStringList* lines) {
    QJsonObject object{
        {QStringLiteral("type"), QStringLiteral("state")},
        {QStringLiteral("entry"), state.entry},
        {QStringLiteral("entryName"), state.entryName},
        {QStringLiteral("entryCount"), state.entryCount},
        {QStringLiteral("line"), state.line},
        {QStringLiteral("lineCount"), state.lineCount},
        {QStringLiteral("text"), state.text},
        {QStringLiteral("next"), state.nextText},
        {QStringLiteral("connected"), state.connected},
        {QStringLiteral("player"), state.player},
        {QStringLiteral("brightness"), state.brightness},
        {QStringLiteral("linesVersion"), QString::number(state.linesVersion)},
    };
    if (lines != nullptr) {
        object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(*lines));
    }
    return Compact(object);
}

QString WebResultMessage(RemoteVerb verb, const RemoteResult& result) {
    QJsonObject object{{QStringLiteral("type"), QStringLiteral("result")},
                       {QStringLiteral("command"), RemoteVerbName(verb)},
                       {QStringLiteral("ok"), result.ok}};
    if (!result.ok) {
        object.insert(QStringLiteral("reason"), result.reason);
    }
    return Compact(object);
}

QString WebErrorMessage(const QString& reason) {
    return Compact(QJsonObject{{QStringLiteral("type"), QStringLiteral("error")},
                               {QStringLiteral("reason"), reason}});
}
