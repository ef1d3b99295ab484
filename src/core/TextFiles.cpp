#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace {

const char* const kGbk = "GBK";

// Length of the UTF-8 sequence starting at `pos` when it is well formed, 0
// otherwise. The second byte's range excludes the overlong forms (E0 80..9F,
// F0 80..8F), the surrogates (ED A0..BF) and code points above U+10FFFF (F4 90..).
qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype pos) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(pos);
    if (lead < 0x80) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0; // a stray continuation byte, C0/C1 (always overlong) or F5..FF
    }
    if (pos + length > bytes.size()) {
        return 0;
    }
    if (at(pos + 1) < low || at(pos + 1) > high) {
        return 0;
    }
    for (qsizetype i = 2; i < length; ++i) {
        if (at(pos + i) < 0x80 || at(pos + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Whether valid UTF-8 with bytes above 0x7F should still be read as GBK: all
// its multi-byte sequences are two bytes long, and each is a pair from the
// GB2312 hanzi rows (lead B0..F7, trail A1..FE). Chinese, Japanese and Korean
// UTF-8 is made of three-byte sequences and never lands here; a short GBK
// name such as one written by the station can.
bool LooksLikeGbkHanzi(QByteArrayView bytes) {
    for (qsizetype pos = 0; pos < bytes.size();) {
        const qsizetype length = Utf8SequenceLength(bytes, pos);
        if (length > 2) {
            return false;
        }
        if (length == 2) {
            const auto lead = static_cast<unsigned char>(bytes[pos]);
            const auto trail = static_cast<unsigned char>(bytes[pos + 1]);
            if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1) {
                return false;
            }
        }
        pos += length;
    }
    return true;
}

// UTF-8 that keeps a U+FEFF at its start: after the file's own mark it is a
// character of the text, which QString::fromUtf8 would silently drop.
QString Utf8Keeping(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

bool HasHighByte(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

QByteArray Utf16WithMark(const QString& text, bool bigEndian) {
    QByteArray out(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    out.reserve(2 + 2 * text.size());
    for (const QChar c : text) {
        const char low = static_cast<char>(c.unicode() & 0xFF);
        const char high = static_cast<char>(c.unicode() >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

} // namespace

QByteArray EncodeGbk(const QString& text) {
    QStringEncoder encoder(kGbk, QStringEncoder::Flag::Stateless);
    return encoder.encode(text);
}

QString MissingCodecMessage(const char* name) {
    const QStringEncoder encoder(name);
    const QStringDecoder decoder(name);
    if (encoder.isValid() && decoder.isValid()) {
        return {};
    }
    return QStringLiteral("本机缺少%1字符编码支持，无法读写字幕文件，也无法与字幕机通讯。"
                          "请安装完整的Qt运行库后再启动。")
        .arg(QString::fromLatin1(name));
}

QString DecodeGbk(QByteArrayView bytes) {
    // The converter silently swallows a lead byte that has no second byte at
    // the end of the input; keep it visible as a replacement character.
    const qsizetype size = bytes.size();
    bool danglingLead = false;
    for (qsizetype pos = 0; pos < size;) {
        const qsizetype length = GbkCharLength(bytes, pos);
        danglingLead = length == 1 && IsGbkLeadByte(static_cast<unsigned char>(bytes[pos]));
        pos += length;
    }
    QStringDecoder decoder(kGbk, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(danglingLead ? bytes.first(size - 1) : bytes);
    if (danglingLead) {
        text += QChar(QChar::ReplacementCharacter);
    }
    return text;
}

QString DecodeFileText(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.sliced(3));
    }
    if (bytes.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(bytes[0]);
        const auto b1 = static_cast<unsigned char>(bytes[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
            // The decoder reads the mark itself and picks the byte order from it.
            QStringDecoder decoder(QStringDecoder::Utf16, QStringDecoder::Flag::Stateless);
            return decoder.decode(bytes);
        }
    }
    return DecodeGbk(bytes);
}

bool IsStrictUtf8(QByteArrayView bytes) {
    for (qsizetype pos = 0; pos < bytes.size();) {
        const qsizetype length = Utf8SequenceLength(bytes, pos);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

DecodedText DecodeScriptText(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return {Utf8Keeping(bytes.sliced(3)), TextEncoding::Utf8Bom};
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return {DecodeFileText(bytes), TextEncoding::Utf16LeBom};
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return {DecodeFileText(bytes), TextEncoding::Utf16BeBom};
    }
    if (HasHighByte(bytes) && IsStrictUtf8(bytes) && !LooksLikeGbkHanzi(bytes)) {
        return {Utf8Keeping(bytes), TextEncoding::Utf8};
    }
    return {DecodeGbk(bytes), TextEncoding::Gbk};
}

QByteArray EncodeText(const QString& text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Gbk:
        return EncodeGbk(text);
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LeBom:
        return Utf16WithMark(text, false);
    case TextEncoding::Utf16BeBom:
        return Utf16WithMark(text, true);
    }
    return EncodeGbk(text);
}

bool GbkHolds(const QString& text) {
    QStringEncoder encoder(kGbk, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    return !encoder.hasError() && DecodeGbk(bytes) == text;
}

EncodedText EncodeTextExactly(const QString& text, TextEncoding preferred) {
    const bool leftGbk = preferred == TextEncoding::Gbk && !GbkHolds(text);
    if (!leftGbk) {
        QByteArray bytes = EncodeText(text, preferred);
        if (DecodeScriptText(bytes).text == text) {
            return {std::move(bytes), preferred, false};
        }
    }
    // UTF-8 with a mark reads back whole unless the text holds a lone
    // surrogate, which only UTF-16 keeps.
    QByteArray utf8 = EncodeText(text, TextEncoding::Utf8Bom);
    if (DecodeScriptText(utf8).text == text) {
        return {std::move(utf8), TextEncoding::Utf8Bom, leftGbk};
    }
    return {EncodeText(text, TextEncoding::Utf16LeBom), TextEncoding::Utf16LeBom, leftGbk};
}

QStringList SplitLines(const QString& text) {
    QStringList lines;
    const qsizetype size = text.size();
    qsizetype start = 0;
    qsizetype pos = 0;
    while (pos < size) {
        const QChar c = text[pos];
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, pos - start));
            pos += (c == u'\r' && pos + 1 < size && text[pos + 1] == u'\n') ? 2 : 1;
            start = pos;
        } else {
            ++pos;
        }
    }
    if (start < size) {
        lines.append(text.mid(start));
    }
    return lines;
}

QByteArray JoinLinesGbk(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += EncodeGbk(line);
        out += "\r\n";
    }
    return out;
}

QString JoinLinesCrLf(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

qsizetype GbkCharLength(QByteArrayView bytes, qsizetype pos) {
    if (pos + 1 < bytes.size() && IsGbkLeadByte(static_cast<unsigned char>(bytes[pos])) &&
        IsGbkTrailByte(static_cast<unsigned char>(bytes[pos + 1]))) {
        return 2;
    }
    return 1;
}

qsizetype GbkPrefixLength(QByteArrayView bytes, qsizetype maxBytes) {
    if (maxBytes >= bytes.size()) {
        return bytes.size();
    }
    qsizetype pos = 0;
    while (pos < maxBytes) {
        const qsizetype next = pos + GbkCharLength(bytes, pos);
        if (next > maxBytes) {
            break;
        }
        pos = next;
    }
    return pos;
}

qsizetype GbkLength(const QString& text) {
    return EncodeGbk(text).size();
}

qsizetype GbkWidthAt(const QString& text, qsizetype pos, qsizetype* units) {
    const QChar c = text[pos];
    *units = c.isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate() ? 2 : 1;
    if (c.unicode() < 0x80) {
        return 1;
    }
    const QString character = text.mid(pos, *units);
    if (!GbkHolds(character)) {
        return 2;
    }
    return EncodeGbk(character).size();
}

QStringList SplitByGbkWidth(const QString& text, qsizetype maxBytes) {
    QStringList pieces;
    qsizetype start = 0;
    qsizetype width = 0;
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype units = 1;
        const qsizetype charWidth = GbkWidthAt(text, pos, &units);
        if (pos > start && width + charWidth > maxBytes) {
            pieces.append(text.mid(start, pos - start));
            start = pos;
            width = 0;
        }
        width += charWidth;
        pos += units;
    }
    if (start < text.size()) {
        pieces.append(text.mid(start));
    }
    return pieces;
}

QString TrimControl(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32) {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= 32) {
        --end;
    }
    return text.mid(begin, end - begin);
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

TextFileContent ReadTextFile(const QString& path) {
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes) {
        return {IoStatus::Fail(ReadFailedMessage(path)), {}, TextEncoding::Gbk};
    }
    DecodedText decoded = DecodeScriptText(*bytes);
    return {IoStatus::Ok(), std::move(decoded.text), decoded.encoding};
}

TextFileContent ReadMarkedOrGbkFile(const QString& path) {
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes) {
        return {IoStatus::Fail(ReadFailedMessage(path)), {}, TextEncoding::Gbk};
    }
    return {IoStatus::Ok(), DecodeFileText(*bytes), TextEncoding::Gbk};
}

LineFileContent ReadLineFile(const QString& path) {
    TextFileContent content = ReadTextFile(path);
    if (!content.status) {
        return {content.status, {}, TextEncoding::Gbk};
    }
    return {IoStatus::Ok(), SplitLines(content.text), content.encoding};
}

QString GbkFallbackNote(const QString& path, TextEncoding written) {
    const QString form = written == TextEncoding::Utf16LeBom || written == TextEncoding::Utf16BeBom
                             ? QStringLiteral("UTF-16")
                             : QStringLiteral("UTF-8");
    return QStringLiteral("文件中有GBK编码无法保存的字符，已改用%1编码保存：%2")
        .arg(form, QDir::toNativeSeparators(path));
}

IoStatus WriteLineFile(const QString& path, const QStringList& lines, TextEncoding encoding,
                       TextEncoding* written) {
    // Writing GBK whatever the text held turned every character GBK has no
    // code for into "?" and reported success; a playlist entry or a line of a
    // Korean song was then lost for good. The text now goes out in a form that
    // reads back whole, and the operator learns that the file changed form.
    EncodedText encoded = EncodeTextExactly(JoinLinesCrLf(lines), encoding);
    const IoStatus status = WriteFileAtomically(path, encoded.bytes);
    if (!status) {
        return status;
    }
    if (written) {
        *written = encoded.encoding;
    }
    return encoded.leftGbk ? IoStatus::OkWithNote(GbkFallbackNote(path, encoded.encoding))
                           : IoStatus::Ok();
}
