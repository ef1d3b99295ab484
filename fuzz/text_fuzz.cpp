// The text decoders every file and card reply goes through: GBK, and UTF-8 or
// UTF-16 picked by a byte order mark; line splitting and GBK character counts.

#include "FuzzSupport.h"

#include "core/TextFiles.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzBytes(data, size);

    const QString gbk = DecodeGbk(bytes);
    FUZZ_CHECK(size == 0 || !gbk.isEmpty());
    const QString text = DecodeFileText(bytes);

    const QStringList lines = SplitLines(text);
    for (const QString& line : lines) {
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'));
        const QString trimmed = TrimControl(line);
        FUZZ_CHECK(trimmed.isEmpty() ||
                   (trimmed.front().unicode() > 32 && trimmed.back().unicode() > 32));
        FUZZ_CHECK(GbkLength(line) == EncodeGbk(line).size());
    }
    const QByteArray joined = JoinLinesGbk(lines);
    FUZZ_CHECK(lines.isEmpty() == joined.isEmpty());

    // GBK text that came from GBK bytes goes back to the same line count.
    FUZZ_CHECK(SplitLines(DecodeGbk(JoinLinesGbk(SplitLines(gbk)))).size() ==
               SplitLines(gbk).size());

    // Prefixes end on a character boundary and never exceed the limit.
    for (qsizetype limit : {qsizetype(0), qsizetype(1), qsizetype(2), bytes.size() / 2,
                            bytes.size() - 1, bytes.size(), bytes.size() + 1}) {
        const qsizetype prefix = GbkPrefixLength(bytes, limit);
        FUZZ_CHECK(prefix >= 0 && prefix <= std::max<qsizetype>(limit, 0));
        FUZZ_CHECK(prefix <= bytes.size());
        qsizetype pos = 0;
        while (pos < prefix) {
            pos += GbkCharLength(bytes, pos);
        }
        FUZZ_CHECK(pos == prefix);
    }
    return 0;
}
