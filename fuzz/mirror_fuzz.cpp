// What a backup station reads from its main station, and a main station from
// whoever connects to its mirror port: the message framing fed in pieces, and
// the playlist message with the placing of its file names.

#include "FuzzSupport.h"

#include "show/MirrorProtocol.h"
#include "show/MirrorShow.h"

#include <QDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte cuts the rest into pieces of that size, as a socket may.
    const size_t piece = size_t(data[0]) + 1;
    MirrorReader reader;
    for (size_t at = 1; at < size; at += piece) {
        reader.Append(QByteArray(reinterpret_cast<const char*>(data + at),
                                 qsizetype(std::min(piece, size - at))));
        for (;;) {
            QJsonObject message;
            QString error;
            const MirrorReader::Result result = reader.Next(&message, &error);
            if (result == MirrorReader::Result::Message) {
                FUZZ_CHECK(!MirrorKind(message).isEmpty());
                if (const auto show = ShowFromMessage(message)) {
                    for (const MirroredFile& file : show->files) {
                        const QString placed = PlacedPath(QStringLiteral("/mirror"), file.path);
                        FUZZ_CHECK(placed.startsWith(QStringLiteral("/mirror/")));
                        FUZZ_CHECK(QDir::cleanPath(placed) == placed);
                    }
                }
                continue;
            }
            if (result == MirrorReader::Result::Bad) {
                FUZZ_CHECK(!error.isEmpty() || reader.buffered() == 0);
            }
            break;
        }
    }
    return 0;
}
