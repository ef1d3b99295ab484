#include "TextFiles.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char* const kGbk = "GBK";

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

qsizetype GbkCharLength(QByteArrayView bytes, qsizetype pos) {
    if (pos + 1 < bytes.size() && IsGbkLeadByte(static_cast<unsigned char>(bytes[pos]))) {
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

TextFileContent ReadTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {IoStatus::Fail(ReadFailedMessage(path)), {}};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {IoStatus::Fail(ReadFailedMessage(path)), {}};
    }
    return {IoStatus::Ok(), DecodeFileText(bytes)};
}

LineFileContent ReadLineFile(const QString& path) {
    TextFileContent content = ReadTextFile(path);
    if (!content.status) {
        return {content.status, {}};
    }
    return {IoStatus::Ok(), SplitLines(content.text)};
}

IoStatus WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so a short write (disk full, file size limit) shows in the
    // count write() returns; a buffered flush reports it as success and the
    // commit would then replace the old file with a truncated one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return IoStatus::Fail(WriteFailedMessage(path, file.errorString()));
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return IoStatus::Fail(WriteFailedMessage(path, reason));
    }
    if (!file.commit()) {
        return IoStatus::Fail(WriteFailedMessage(path, file.errorString()));
    }
    return IoStatus::Ok();
}

IoStatus WriteLineFile(const QString& path, const QStringList& lines) {
    return WriteFileAtomically(path, JoinLinesGbk(lines));
}
