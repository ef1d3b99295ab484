// MAC addresses as typed (configuration, tools) and as card list entries carry them.

#include "FuzzSupport.h"

#include "core/TextFiles.h"
#include "link/MacAddress.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzBytes(data, size);
    for (const QString& text : {QString::fromUtf8(bytes), DecodeGbk(bytes)}) {
        if (const auto mac = ParseMacText(text)) {
            // What the parser accepts, the station prints and reads back alike.
            FUZZ_CHECK(ParseMacText(MacText(*mac)) == mac);
            FUZZ_CHECK(MacFromEntry(QStringLiteral("mac:") + MacText(*mac)) == *mac);
        }
        const MacAddress fromEntry = MacFromEntry(text);
        FUZZ_CHECK(MacFromEntry(QStringLiteral("mac:") + MacText(fromEntry)) == fromEntry);
    }
    return 0;
}
