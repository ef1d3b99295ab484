#include "OscProtocol.h"

#include <lo/lo.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString kPrefix = QStringLiteral("/subtitle/");

struct MessageDeleter {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using MessagePtr = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

OscParse Refuse(OscRefusal refusal, QString path, QString detail) {
    OscParse parse;
    parse.refusal = refusal;
    parse.path = std::move(path);
    parse.detail = std::move(detail);
    return parse;
}

bool IsNumber(char type) {
    return type == LO_INT32 || type == LO_INT64 || type == LO_FLOAT || type == LO_DOUBLE;
}

// liblo's arguments point into the message at OSC's 4-byte alignment, while
// lo_arg is a union with 8-byte members: reading through it is undefined
// behaviour, so the bytes are copied out instead.
template <typename T> T Read(const lo_arg* arg) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char*>(arg), sizeof value);
    return value;
}

// The value of a numeric argument, whatever numeric type carried it.
std::optional<double> Number(char type, const lo_arg* arg) {
    switch (type) {
    case LO_INT32:
        return Read<std::int32_t>(arg);
    case LO_INT64:
        return double(Read<std::int64_t>(arg));
    case LO_FLOAT:
        return Read<float>(arg);
    case LO_DOUBLE:
        return Read<double>(arg);
    default:
        return std::nullopt;
    }
}

// A whole number in 32 bits, whatever numeric type carried it.
std::optional<qint64> WholeNumber(char type, const lo_arg* arg) {
    if (type == LO_INT32) {
        return Read<std::int32_t>(arg); // every one fits, INT32_MIN too
    }
    const std::optional<double> value = Number(type, arg);
    if (!value || !std::isfinite(*value) || *value != std::floor(*value) ||
        std::fabs(*value) > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<qint64>(*value);
}

// Non-zero, as a number of any type (NaN counts as zero).
bool Pressed(char type, const lo_arg* arg) {
    const std::optional<double> value = Number(type, arg);
    return value && *value != 0.0 && !std::isnan(*value);
}

bool IsText(char type) {
    return type == LO_STRING || type == LO_SYMBOL;
}

QString Text(const lo_arg* arg) {
    // liblo checked that the string ends inside the message.
    return QString::fromUtf8(reinterpret_cast<const char*>(arg));
}

OscRequest Command(RemoteVerb verb, int number = 0) {
    OscRequest request;
    request.command.verb = verb;
    request.command.number = number;
    return request;
}

OscParse Accept(const QString& path, OscRequest request) {
    OscParse parse;
    parse.path = path;
    parse.request = std::move(request);
    return parse;
}

OscParse FromArguments(const QString& path, const char* types, lo_arg** argv, int argc) {
    const QString name = path.mid(kPrefix.size());
    const auto wrong = [&path](const QString& why) {
        return Refuse(OscRefusal::WrongArguments, path, why);
    };

    if (name == QLatin1String("subscribe")) {
        if (argc != 1 || !IsNumber(types[0])) {
            return wrong(QStringLiteral("需要一个端口号"));
        }
        const std::optional<qint64> port = WholeNumber(types[0], argv[0]);
        if (!port || *port < 0 || *port > 65535) {
            return wrong(QStringLiteral("端口号应为0到65535"));
        }
        OscRequest request;
        request.kind = OscRequest::Kind::Subscribe;
        request.port = static_cast<int>(*port);
        return Accept(path, request);
    }

    const std::optional<RemoteVerb> verb = RemoteVerbFromName(name);
    if (!verb) {
        return Refuse(OscRefusal::UnknownAddress, path, QStringLiteral("未知的地址"));
    }
    switch (*verb) {
    case RemoteVerb::GoToLine:
    case RemoteVerb::SelectEntry:
    case RemoteVerb::Brightness: {
        if (argc != 1 || !IsNumber(types[0])) {
            return wrong(QStringLiteral("需要一个整数"));
        }
        const std::optional<qint64> number = WholeNumber(types[0], argv[0]);
        if (!number) {
            return wrong(QStringLiteral("需要一个整数"));
        }
        if (*verb == RemoteVerb::Brightness) {
            if (*number < 0 || *number > kMaxBrightnessLevel) {
                return wrong(QStringLiteral("亮度应为0到16"));
            }
        } else if (*number < 1 || *number > 1000000) {
            return wrong(QStringLiteral("序号从1开始"));
        }
        return Accept(path, Command(*verb, static_cast<int>(*number)));
    }
    case RemoteVerb::TempText: {
        if (argc < 1 || argc > 2 || !IsText(types[0]) || (argc == 2 && !IsText(types[1]))) {
            return wrong(QStringLiteral("需要一行或两行文字"));
        }
        OscRequest request = Command(*verb);
        request.command.row1 = Text(argv[0]);
        request.command.row2 = argc == 2 ? Text(argv[1]) : QString();
        if (request.command.row1.size() > kMaxRemoteRowLength ||
            request.command.row2.size() > kMaxRemoteRowLength) {
            return wrong(QStringLiteral("文字太长"));
        }
        return Accept(path, request);
    }
    default:
        break;
    }
    // The buttons: nothing, or a press value.
    if (argc == 0) {
        return Accept(path, Command(*verb));
    }
    if (argc == 1 && (IsNumber(types[0]) || types[0] == LO_TRUE || types[0] == LO_FALSE)) {
        const bool pressed = types[0] == LO_TRUE || Pressed(types[0], argv[0]);
        if (!pressed) {
            OscRequest ignored;
            ignored.kind = OscRequest::Kind::Ignored;
            return Accept(path, ignored);
        }
        return Accept(path, Command(*verb));
    }
    return wrong(QStringLiteral("不需要参数"));
}

QByteArray Serialise(lo_message message, const char* path) {
    std::size_t size = 0;
    void* bytes = lo_message_serialise(message, path, nullptr, &size);
    QByteArray out;
    if (bytes != nullptr) {
        out = QByteArray(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
        std::free(bytes);
    }
    return out;
}

} // namespace

OscParse ParseOscPacket(const void* data, std::size_t size) {
    if (size > kMaxOscPacket) {
        return Refuse(OscRefusal::Oversized, {}, QStringLiteral("数据包太大"));
    }
    if (size >= 1 && static_cast<const char*>(data)[0] == '#') {
        return Refuse(OscRefusal::Bundle, {}, QStringLiteral("不接受 OSC 包（bundle）"));
    }
    // liblo decodes from a buffer of its own; a copy keeps the caller's const.
    std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    int result = 0;
    MessagePtr message(lo_message_deserialise(copy.data(), copy.size(), &result));
    if (!message || result != 0) {
        return Refuse(OscRefusal::Malformed, {}, QStringLiteral("无法解码的 OSC 数据"));
    }
    // The message decoded, so the address at the start is a terminated string.
    const QString path = QString::fromUtf8(copy.data());
    if (!path.startsWith(kPrefix) || path.size() > 64) {
        return Refuse(OscRefusal::UnknownAddress, path.left(64), QStringLiteral("未知的地址"));
    }
    const char* types = lo_message_get_types(message.get());
    const int argc = lo_message_get_argc(message.get());
    lo_arg** argv = lo_message_get_argv(message.get());
    if (argc > 0 && (types == nullptr || argv == nullptr || int(std::strlen(types)) < argc)) {
        return Refuse(OscRefusal::Malformed, path, QStringLiteral("无法解码的 OSC 数据"));
    }
    return FromArguments(path, types != nullptr ? types : "", argv, argc);
}

QString OscRefusalText(OscRefusal refusal) {
    switch (refusal) {
    case OscRefusal::None:
        return {};
    case OscRefusal::Oversized:
        return QStringLiteral("过大的 OSC 数据包");
    case OscRefusal::Malformed:
        return QStringLiteral("格式错误的 OSC 数据包");
    case OscRefusal::Bundle:
        return QStringLiteral("OSC 包（bundle）");
    case OscRefusal::UnknownAddress:
        return QStringLiteral("未知 OSC 地址");
    case OscRefusal::WrongArguments:
        return QStringLiteral("OSC 参数错误");
    }
    return {};
}

QByteArray OscStateMessage(const RemoteShowState& state) {
    MessagePtr message(lo_message_new());
    lo_message_add_int32(message.get(), state.entry);
    lo_message_add_int32(message.get(), state.line);
    lo_message_add_string(message.get(), state.text.toUtf8().constData());
    lo_message_add_int32(message.get(), state.connected ? 1 : 0);
    return Serialise(message.get(), "/subtitle/state");
}

QByteArray OscRefusedMessage(const QString& path, const QString& reason) {
    MessagePtr message(lo_message_new());
    lo_message_add_string(message.get(), path.toUtf8().constData());
    lo_message_add_string(message.get(), reason.toUtf8().constData());
    return Serialise(message.get(), "/subtitle/refused");
}
