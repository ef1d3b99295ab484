#pragma once

#include <QByteArray>
#include <QString>

#include <lo/lo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

// An OSC message as a desk sends it, built with liblo: `fill` adds the arguments.
inline QByteArray OscPacket(const char* path, const std::function<void(lo_message)>& fill = {}) {
    lo_message message = lo_message_new();
    if (fill) {
        fill(message);
    }
    std::size_t size = 0;
    void* bytes = lo_message_serialise(message, path, nullptr, &size);
    QByteArray out(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
    std::free(bytes);
    lo_message_free(message);
    return out;
}

// Argument `index` of a decoded message. liblo's arguments sit at OSC's
// 4-byte alignment, so they are copied out rather than read through lo_arg.
inline int OscInt(lo_message message, int index) {
    std::int32_t value = 0;
    std::memcpy(&value, reinterpret_cast<const char*>(lo_message_get_argv(message)[index]),
                sizeof value);
    return value;
}
inline QString OscText(lo_message message, int index) {
    return QString::fromUtf8(reinterpret_cast<const char*>(lo_message_get_argv(message)[index]));
}

// What the station sent back: the address, the type tags and the message
// (freed by the caller with lo_message_free), or a null message.
struct OscReceived {
    QByteArray path;
    QByteArray types;
    lo_message message = nullptr;
};
inline OscReceived DecodeOsc(QByteArray bytes) {
    OscReceived out;
    int result = 0;
    out.message =
        lo_message_deserialise(bytes.data(), static_cast<std::size_t>(bytes.size()), &result);
    if (out.message != nullptr) {
        out.path = QByteArray(bytes.constData());
        out.types = QByteArray(lo_message_get_types(out.message));
    }
    return out;
}
