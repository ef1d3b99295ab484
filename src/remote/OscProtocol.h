#pragma once

#include "remote/RemoteCommand.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>

// The station's OSC address space under /subtitle/, decoded with liblo. Pure
// functions: no socket, no thread; the server and the fuzz target share them.
//
//   /subtitle/next, /prev, /clear, /connect, /disconnect, /play, /pause, /stop
//       no argument, or one number: non-zero presses, zero (a button's
//       release, as many desks send) is ignored
//   /subtitle/go i          line i (from 1) of the open entry
//   /subtitle/entry i       entry i (from 1) of the playlist
//   /subtitle/brightness i  level 0..16
//   /subtitle/temp s [s]    a temporary message of one or two rows
//   /subtitle/subscribe i   send /subtitle/state to port i of the sender's
//                           address from now on; 0 stops it
// Numbers may come as i, h, f or d when they hold a whole number.

// A datagram longer than this is refused before it is decoded: every message
// of the address space fits many times over.
inline constexpr std::size_t kMaxOscPacket = 1024;

enum class OscRefusal {
    None,
    Oversized,      // longer than kMaxOscPacket
    Malformed,      // not an OSC message liblo can decode
    Bundle,         // bundles are not part of the address space
    UnknownAddress, // not one of ours
    WrongArguments, // ours, with argument types or values it does not take
};

struct OscRequest {
    enum class Kind {
        Command,   // hand `command` to the station
        Subscribe, // `port`: 0 stops the subscription
        Ignored,   // a button's release: nothing to do, nothing wrong
    };
    Kind kind = Kind::Command;
    RemoteCommand command;
    int port = 0;
};

struct OscParse {
    std::optional<OscRequest> request; // set when refusal is None
    OscRefusal refusal = OscRefusal::None;
    QString path;   // the address, when one could be read
    QString detail; // why it was refused, for the reply and the monitor
};

OscParse ParseOscPacket(const void* data, std::size_t size);

// The monitor's word for a refusal.
QString OscRefusalText(OscRefusal refusal);

// /subtitle/state: entry, line number, line text, connected (0 or 1); numbers from 1, 0 for none.
QByteArray OscStateMessage(const RemoteShowState& state);
// /subtitle/refused: the command's address and the reason, to the sender of a
// command the station did not carry out.
QByteArray OscRefusedMessage(const QString& path, const QString& reason);
