#pragma once

#include "AtomicFile.h"
#include "IoStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// The conventions every file of the station shares: text is GBK (code page
// 936) on disk unless a byte order mark says otherwise, lines end in CR LF,
// and byte counts always keep the two bytes of a GBK character together.
// Scripts, lyrics, projects and playlists also come from other programs, and
// most of those write UTF-8 without a mark; those files are recognised too.

// The form a text file had on disk, so it can be written back the same way.
enum class TextEncoding { Gbk, Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom };

QByteArray EncodeGbk(const QString& text);
// Empty when the text codec `name` converts both ways here; otherwise the
// operator's message. Without GBK the station can neither read its files nor
// understand a single card reply, so it must not start.
QString MissingCodecMessage(const char* name = "GBK");
// Invalid or truncated byte sequences become U+FFFD; everything after them is kept.
QString DecodeGbk(QByteArrayView bytes);
// A UTF-8 or UTF-16 (LE/BE) byte order mark selects that encoding; otherwise GBK.
// Config.ini is read this way: the station writes it on every close, and its
// short values (a card name, one path) are where GBK bytes can pass for UTF-8.
QString DecodeFileText(QByteArrayView bytes);

// Strictly well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated or stray continuation bytes.
bool IsStrictUtf8(QByteArrayView bytes);

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Gbk;
};
// As DecodeFileText, and without a mark, bytes that are strict UTF-8 with at
// least one byte of 0x80 or above are UTF-8 (pure ASCII stays GBK, which reads
// it the same). GBK text almost never passes the UTF-8 check; the exception is
// a text whose every non-ASCII character is a two-byte UTF-8 sequence that is
// also a GB2312 hanzi pair, which is taken as the GBK it most likely is.
DecodedText DecodeScriptText(QByteArrayView bytes);

// The bytes of `text` in `encoding` (with its mark where it has one). GBK turns
// characters it has no code for into "?"; see EncodeTextExactly.
QByteArray EncodeText(const QString& text, TextEncoding encoding);
// Whether GBK has a code for every character of the text (and gives it back
// unchanged on decoding).
bool GbkHolds(const QString& text);

struct EncodedText {
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Gbk;
    // Set when GBK was asked for but could not hold the text.
    bool leftGbk = false;
};
// The bytes of `text` in `preferred` when DecodeScriptText reads them back as
// exactly this text; otherwise UTF-8 with a byte order mark, or UTF-16 LE with
// one for a text UTF-8 cannot carry (a lone surrogate). Never a "?".
EncodedText EncodeTextExactly(const QString& text, TextEncoding preferred);

// Splits at CR LF, LF and lone CR. A line end at the very end starts no new line;
// an empty text has no lines.
QStringList SplitLines(const QString& text);
// GBK bytes of the lines, each followed by CR LF (the last one too), no BOM.
QByteArray JoinLinesGbk(const QStringList& lines);
// The lines, each followed by CR LF, as one text.
QString JoinLinesCrLf(const QStringList& lines);

// Code page 936 gives 0x80 (the euro sign) and 0xFF a character of their own,
// one byte each, and so does the GBK converter; only 0x81..0xFE lead a pair.
constexpr bool IsGbkLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
// The second byte of a pair is 0x40..0xFE except 0x7F; after any other byte
// the converter reads the lead byte as a broken character of its own.
constexpr bool IsGbkTrailByte(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}
// Length (1 or 2) of the character starting at pos, as the GBK converter reads
// it; a lead byte at the very end counts as 1 so callers never run past the end.
qsizetype GbkCharLength(QByteArrayView bytes, qsizetype pos);
// The longest prefix of at most maxBytes bytes that ends on a character boundary.
qsizetype GbkPrefixLength(QByteArrayView bytes, qsizetype maxBytes);
// Number of GBK bytes the text takes (a Chinese character is two).
qsizetype GbkLength(const QString& text);
// The bytes the character at `pos` takes in GBK, and in `units` the UTF-16
// units it spans (2 for a surrogate pair). A character GBK has no code for
// counts as two bytes, the width of every other non-ASCII character.
qsizetype GbkWidthAt(const QString& text, qsizetype pos, qsizetype* units);
// The text cut into pieces of at most maxBytes GBK bytes (at least one
// character each), never splitting a character and never changing one: the
// pieces joined give the text back, characters outside GBK included.
QStringList SplitByGbkWidth(const QString& text, qsizetype maxBytes);

// Removes every character with code 32 or less from both ends. Unlike
// QString::trimmed it leaves wider Unicode spaces (the full-width space of a
// Chinese script) alone.
QString TrimControl(const QString& text);

struct TextFileContent {
    IoStatus status;
    QString text;
    TextEncoding encoding = TextEncoding::Gbk;
};
struct LineFileContent {
    IoStatus status;
    QStringList lines;
    TextEncoding encoding = TextEncoding::Gbk;
};

// The bytes of the whole file; nothing when it cannot be opened or read.
std::optional<QByteArray> ReadWholeFile(const QString& path);
// Scripts, lyrics, projects and playlists: decoded with DecodeScriptText.
TextFileContent ReadTextFile(const QString& path);
LineFileContent ReadLineFile(const QString& path);
// The station's own settings file: decoded with DecodeFileText.
TextFileContent ReadMarkedOrGbkFile(const QString& path);

// The lines, each followed by CR LF, in `encoding` when it reads back whole
// (EncodeTextExactly). When GBK could not hold them the status stays ok and
// carries the operator's note (GbkFallbackNote); `written`, when given,
// receives the encoding the file now has.
IoStatus WriteLineFile(const QString& path, const QStringList& lines,
                       TextEncoding encoding = TextEncoding::Gbk, TextEncoding* written = nullptr);
// "文件中有GBK编码无法保存的字符，已改用UTF-8编码保存：" and the file name
// (UTF-16 in place of UTF-8 for the rare text only UTF-16 carries).
QString GbkFallbackNote(const QString& path, TextEncoding written = TextEncoding::Utf8Bom);
