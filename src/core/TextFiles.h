#pragma once

#include "IoStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The conventions every file of the station shares: text is GBK (code page
// 936) on disk unless a byte order mark says otherwise, lines end in CR LF,
// and byte counts always keep the two bytes of a GBK character together.

QByteArray EncodeGbk(const QString& text);
// Empty when the text codec `name` converts both ways here; otherwise the
// operator's message. Without GBK the station can neither read its files nor
// understand a single card reply, so it must not start.
QString MissingCodecMessage(const char* name = "GBK");
// Invalid or truncated byte sequences become U+FFFD; everything after them is kept.
QString DecodeGbk(QByteArrayView bytes);
// A UTF-8 or UTF-16 (LE/BE) byte order mark selects that encoding; otherwise GBK.
QString DecodeFileText(QByteArrayView bytes);

// Splits at CR LF, LF and lone CR. A line end at the very end starts no new line;
// an empty text has no lines.
QStringList SplitLines(const QString& text);
// GBK bytes of the lines, each followed by CR LF (the last one too), no BOM.
QByteArray JoinLinesGbk(const QStringList& lines);

// A byte of 0x80 or above starts a two-byte character.
constexpr bool IsGbkLeadByte(unsigned char byte) {
    return byte >= 0x80;
}
// Length (1 or 2) of the character starting at pos; a lead byte at the very
// end counts as 1 so callers never run past the end.
qsizetype GbkCharLength(QByteArrayView bytes, qsizetype pos);
// The longest prefix of at most maxBytes bytes that ends on a character boundary.
qsizetype GbkPrefixLength(QByteArrayView bytes, qsizetype maxBytes);
// Number of GBK bytes the text takes (a Chinese character is two).
qsizetype GbkLength(const QString& text);

// Removes every character with code 32 or less from both ends. Unlike
// QString::trimmed it leaves wider Unicode spaces (the full-width space of a
// Chinese script) alone.
QString TrimControl(const QString& text);

struct TextFileContent {
    IoStatus status;
    QString text;
};
struct LineFileContent {
    IoStatus status;
    QStringList lines;
};

TextFileContent ReadTextFile(const QString& path);
LineFileContent ReadLineFile(const QString& path);

// Replaces the file as a whole: the bytes go to a temporary file beside it that
// is renamed over the old one only when everything was written, so a crash or a
// full disk never leaves half a file behind.
IoStatus WriteFileAtomically(const QString& path, const QByteArray& bytes);
IoStatus WriteLineFile(const QString& path, const QStringList& lines);
