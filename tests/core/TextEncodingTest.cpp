#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <QStringDecoder>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}
QByteArray B(const char* bytes) {
    return QByteArray(bytes);
}

TEST(Utf8Check, AcceptsWellFormedAndRejectsEveryMalformedKind) {
    struct Case {
        QByteArray bytes;
        bool valid;
        const char* what;
    };
    const Case cases[] = {
        {B("plain ascii"), true, "ascii"},
        {U("中文 日本語 한국어").toUtf8(), true, "three-byte CJK"},
        {B("\xC2\x80"), true, "lowest two-byte"},
        {B("\xEF\xBF\xBF"), true, "U+FFFF"},
        {B("\xF0\x9F\x98\x80"), true, "emoji"},
        {B("\xF4\x8F\xBF\xBF"), true, "U+10FFFF"},
        {B("\xC0\x80"), false, "overlong NUL"},
        {B("\xC1\xBF"), false, "overlong two-byte"},
        {B("\xE0\x80\xAF"), false, "overlong three-byte"},
        {B("\xE0\x9F\xBF"), false, "overlong three-byte, top"},
        {B("\xF0\x80\x80\xAF"), false, "overlong four-byte"},
        {B("\xF0\x8F\xBF\xBF"), false, "overlong four-byte, top"},
        {B("\xED\xA0\x80"), false, "high surrogate"},
        {B("\xED\xBF\xBF"), false, "low surrogate"},
        {B("\xF4\x90\x80\x80"), false, "above U+10FFFF"},
        {B("\xF5\x80\x80\x80"), false, "lead F5"},
        {B("\xFF"), false, "byte FF"},
        {B("ab\xE4\xB8"), false, "truncated at the end"},
        {B("\xE4\xB8"
           "a"),
         false, "truncated before ASCII"},
        {B("\xC2"), false, "lone lead at the end"},
        {B("a\x80"
           "b"),
         false, "stray continuation"},
        {B("\xE4\xB8\xAD\xAD"), false, "continuation after a whole sequence"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStrictUtf8(c.bytes), c.valid) << c.what;
    }
}

TEST(ScriptDecoding, RecognisesEachFormAndReadsItWhole) {
    const QString chinese = U("第一行\r\n日本語の歌詞\r\n");
    struct Case {
        QByteArray bytes;
        QString text;
        TextEncoding encoding;
        const char* what;
    };
    const Case cases[] = {
        {chinese.toUtf8(), chinese, TextEncoding::Utf8, "UTF-8 without a mark"},
        {B("\xEF\xBB\xBF") + chinese.toUtf8(), chinese, TextEncoding::Utf8Bom, "UTF-8 mark"},
        {EncodeText(chinese, TextEncoding::Utf16LeBom), chinese, TextEncoding::Utf16LeBom,
         "UTF-16 LE"},
        {EncodeText(chinese, TextEncoding::Utf16BeBom), chinese, TextEncoding::Utf16BeBom,
         "UTF-16 BE"},
        {EncodeGbk(U("第一行\r\n舞台字幕")), U("第一行\r\n舞台字幕"), TextEncoding::Gbk, "GBK"},
        {B("only ascii\r\n"), U("only ascii\r\n"), TextEncoding::Gbk, "ASCII stays GBK"},
        {B("\x80 5"), U("€ 5"), TextEncoding::Gbk, "euro byte is not UTF-8"},
        {U("Привет").toUtf8(), U("Привет"), TextEncoding::Utf8, "Cyrillic UTF-8"},
        {U("한국어 노래").toUtf8(), U("한국어 노래"), TextEncoding::Utf8, "Korean UTF-8"},
        // Broken UTF-8 is not UTF-8: read as GBK as always.
        {B("\xE4\xB8"), DecodeGbk(B("\xE4\xB8")), TextEncoding::Gbk, "truncated UTF-8"},
    };
    for (const Case& c : cases) {
        const DecodedText decoded = DecodeScriptText(c.bytes);
        EXPECT_EQ(decoded.text, c.text) << c.what;
        EXPECT_EQ(decoded.encoding, c.encoding) << c.what;
    }
}

// A short GBK text can pass the UTF-8 check when its characters happen to be
// two-byte UTF-8 sequences; the station's own one-name playlist must not turn
// into Latin letters on reopening.
TEST(ScriptDecoding, EveryGb2312HanziAloneStaysGbk) {
    int checked = 0;
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const char pair[] = {char(lead), char(trail), 0};
            const QByteArray bytes = QByteArray("x ") + pair + "\r\n";
            const QString gbk = DecodeGbk(bytes);
            if (gbk.contains(QChar(QChar::ReplacementCharacter))) {
                continue; // an unassigned code
            }
            const DecodedText decoded = DecodeScriptText(bytes);
            ASSERT_EQ(decoded.encoding, TextEncoding::Gbk) << std::hex << lead << ' ' << trail;
            ASSERT_EQ(decoded.text, gbk);
            ++checked;
        }
    }
    EXPECT_GT(checked, 6000);
}

// Code page 936 and the converter give 0x80 (the euro sign) and 0xFF a byte
// of their own; a lead byte only pairs with a valid second byte. The cutting
// functions must count characters exactly as the converter reads them.
TEST(GbkBytes, CharacterLengthsAgreeWithTheConverter) {
    for (int first = 0x80; first <= 0xFF; ++first) {
        for (int second = 0; second <= 0xFF; ++second) {
            // The trailing "A" keeps the converter from swallowing a dangling lead.
            const char raw[] = {char(first), char(second), 'A'};
            const QByteArrayView bytes(raw, 3);
            QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
            const QString decoded = decoder.decode(bytes);
            qsizetype characters = 0;
            for (qsizetype pos = 0; pos < bytes.size(); pos += GbkCharLength(bytes, pos)) {
                ++characters;
            }
            ASSERT_EQ(characters, decoded.size()) << std::hex << first << ' ' << second;
        }
    }
}

TEST(GbkBytes, EuroSignIsOneByteEverywhere) {
    EXPECT_EQ(EncodeGbk(U("€")), B("\x80"));
    EXPECT_EQ(DecodeGbk(B("\x80\xD6\xD0")), U("€中"));
    EXPECT_EQ(DecodeGbk(B("\xD6\xD0\x80")), U("中€"));
    EXPECT_EQ(DecodeGbk(B("\x80")), U("€"));
    EXPECT_EQ(GbkCharLength(B("\x80\xD6\xD0"), 0), 1);
    // Cutting "€中" after one byte keeps the euro sign whole.
    EXPECT_EQ(GbkPrefixLength(B("\x80\xD6\xD0"), 1), 1);
    EXPECT_EQ(GbkPrefixLength(B("\x80\x80\x80"), 2), 2);
    EXPECT_EQ(GbkPrefixLength(B("a\xD6\xD0"), 2), 1);
    EXPECT_EQ(GbkLength(U("€中")), 3);
}

TEST(GbkWidth, SegmentsKeepEveryCharacter) {
    struct Case {
        QString text;
        qsizetype maxBytes;
        QStringList pieces;
    };
    const Case cases[] = {
        {U("一二三四五"), 4, {U("一二"), U("三四"), U("五")}},
        {U("a一二三"), 4, {U("a一"), U("二三")}},
        {U("abcdef"), 4, {U("abcd"), U("ef")}},
        {U("€€€€€"), 4, {U("€€€€"), U("€")}},
        {U("中€a"), 4, {U("中€a")}},
        // Outside GBK: two bytes each, and the characters themselves.
        {U("한국어"), 4, {U("한국"), U("어")}},
        {U("a한b"), 2, {U("a"), U("한"), U("b")}},
        {U("😀😀x"), 4, {U("😀😀"), U("x")}},
        {U("a😀"), 2, {U("a"), U("😀")}},
        {QChar(0xFEFF) + U("中"), 2, {QString(QChar(0xFEFF)), U("中")}},
        {QString(QChar(0xD800)) + U("ab"), 2, {QString(QChar(0xD800)), U("ab")}},
        // A limit below one character still moves on, one character at a time.
        {U("中文"), 1, {U("中"), U("文")}},
        {QString(), 4, {}},
    };
    for (const Case& c : cases) {
        const QStringList pieces = SplitByGbkWidth(c.text, c.maxBytes);
        EXPECT_EQ(pieces, c.pieces) << c.text.toStdString();
        EXPECT_EQ(pieces.join(QString()), c.text);
    }
}

TEST(GbkWidth, MatchesTheByteCountOfTextGbkHolds) {
    const QString text = U("舞台 ABC 字幕€·");
    qsizetype total = 0;
    for (qsizetype pos = 0, units = 1; pos < text.size(); pos += units) {
        total += GbkWidthAt(text, pos, &units);
    }
    EXPECT_EQ(total, GbkLength(text));
}

TEST(ExactEncoding, KeepsTheFormWhenItHoldsTheText) {
    const QString chinese = U("舞台字幕\r\nabc\r\n");
    const EncodedText gbk = EncodeTextExactly(chinese, TextEncoding::Gbk);
    EXPECT_EQ(gbk.bytes, EncodeGbk(chinese));
    EXPECT_EQ(gbk.encoding, TextEncoding::Gbk);
    EXPECT_FALSE(gbk.leftGbk);
    for (TextEncoding kept : {TextEncoding::Utf8, TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom,
                              TextEncoding::Utf16BeBom}) {
        const EncodedText encoded = EncodeTextExactly(U("한국어 €\r\n"), kept);
        EXPECT_EQ(encoded.encoding, kept);
        EXPECT_EQ(encoded.bytes, EncodeText(U("한국어 €\r\n"), kept));
        EXPECT_EQ(DecodeScriptText(encoded.bytes).text, U("한국어 €\r\n"));
    }
}

TEST(ExactEncoding, LeavesGbkOnlyForTextItCannotHold) {
    struct Case {
        QString text;
        TextEncoding preferred;
        TextEncoding written;
        bool leftGbk;
        const char* what;
    };
    const Case cases[] = {
        {U("노래\r\n"), TextEncoding::Gbk, TextEncoding::Utf8Bom, true, "Korean"},
        {QChar(0xFEFF) + U("[Show]\r\n"), TextEncoding::Gbk, TextEncoding::Utf8Bom, true,
         "dropped mark"},
        {U("😀\r\n"), TextEncoding::Gbk, TextEncoding::Utf8Bom, true, "emoji"},
        {QString(QChar(0xDC00)) + U("\r\n"), TextEncoding::Gbk, TextEncoding::Utf16LeBom, true,
         "lone surrogate"},
        // Without a mark "é" alone would read back as the hanzi pair its bytes
        // also are; the mark keeps it.
        {U("é\r\n"), TextEncoding::Utf8, TextEncoding::Utf8Bom, false, "ambiguous UTF-8"},
    };
    for (const Case& c : cases) {
        const EncodedText encoded = EncodeTextExactly(c.text, c.preferred);
        EXPECT_EQ(encoded.encoding, c.written) << c.what;
        EXPECT_EQ(encoded.leftGbk, c.leftGbk) << c.what;
        EXPECT_FALSE(encoded.bytes.contains('?')) << c.what;
        EXPECT_EQ(DecodeScriptText(encoded.bytes).text, c.text) << c.what;
    }
}

TEST(LineFiles, GbkFilesRoundTripByteForByte) {
    TempDir dir;
    const QByteArray samples[] = {
        EncodeGbk(U("第一幕\r\n\r\n  台词 two  \r\n[00:12.50]歌词\r\n")),
        B("\x80 price\r\n\xD6\xD0\x80\r\n"),
        B("ascii only\r\n"),
        QByteArray(),
    };
    int n = 0;
    for (const QByteArray& bytes : samples) {
        const QString path = dir.write(QStringLiteral("f%1.txt").arg(n++), bytes);
        const LineFileContent content = ReadLineFile(path);
        ASSERT_TRUE(content.status);
        EXPECT_EQ(content.encoding, TextEncoding::Gbk);
        TextEncoding written = TextEncoding::Utf8;
        const IoStatus status = WriteLineFile(path, content.lines, content.encoding, &written);
        ASSERT_TRUE(status);
        EXPECT_TRUE(status.message.isEmpty());
        EXPECT_EQ(written, TextEncoding::Gbk);
        EXPECT_EQ(TempDir::read(path), bytes);
    }
}

TEST(LineFiles, TextGbkCannotHoldIsWrittenWholeWithANote) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("歌.txt"));
    const QStringList lines = {U("사랑해"), U("中文"), U("😀")};
    TextEncoding written = TextEncoding::Gbk;
    const IoStatus status = WriteLineFile(path, lines, TextEncoding::Gbk, &written);
    ASSERT_TRUE(status);
    EXPECT_EQ(status.message, U("文件中有GBK编码无法保存的字符，已改用UTF-8编码保存：") + path);
    EXPECT_EQ(written, TextEncoding::Utf8Bom);
    const QByteArray bytes = TempDir::read(path);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(bytes.contains('?'));
    const LineFileContent back = ReadLineFile(path);
    EXPECT_EQ(back.lines, lines);
    EXPECT_EQ(back.encoding, TextEncoding::Utf8Bom);
}

TEST(LineFiles, UnmarkedUtf8FileIsReadAndWrittenBackUnchanged) {
    TempDir dir;
    const QByteArray bytes = U("第一行\n日本語\nend").toUtf8();
    const QString path = dir.write(QStringLiteral("utf8.lrc"), bytes);
    const LineFileContent content = ReadLineFile(path);
    ASSERT_TRUE(content.status);
    EXPECT_EQ(content.lines, QStringList({U("第一行"), U("日本語"), U("end")}));
    EXPECT_EQ(content.encoding, TextEncoding::Utf8);
    ASSERT_TRUE(WriteLineFile(path, content.lines, content.encoding));
    EXPECT_EQ(TempDir::read(path), U("第一行\r\n日本語\r\nend\r\n").toUtf8());
}

} // namespace
