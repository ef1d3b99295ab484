// The mirror's messages as they come off a socket: cut anywhere, run
// together, or hostile; the keyed proof; the playlist with its files and
// where a backup keeps them.
#include "show/MirrorProtocol.h"
#include "show/MirrorShow.h"

#include "documents/Playlist.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QJsonObject Message(const char* kind, int n) {
    return QJsonObject{{QStringLiteral("t"), QString::fromLatin1(kind)},
                       {QStringLiteral("n"), n},
                       {QStringLiteral("text"), QStringLiteral("第%1句").arg(n)}};
}

QByteArray Frame(const QByteArray& body) {
    QByteArray length(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), length.data());
    return length + body;
}

} // namespace

TEST(MirrorReaderTest, MessagesComeOutWholeHoweverTheBytesArrive) {
    QByteArray stream;
    for (int n = 1; n <= 3; ++n) {
        stream += EncodeMirrorMessage(Message(mirror::kState, n));
    }
    // Byte by byte, and all at once.
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), stream.size()}) {
        MirrorReader reader;
        QList<QJsonObject> got;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            reader.Append(stream.mid(at, piece));
            QJsonObject message;
            QString error;
            MirrorReader::Result result;
            while ((result = reader.Next(&message, &error)) == MirrorReader::Result::Message) {
                got << message;
            }
            ASSERT_EQ(result, MirrorReader::Result::NeedMore) << error.toStdString();
        }
        ASSERT_EQ(got.size(), 3) << "pieces of " << piece;
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(got[n - 1], Message(mirror::kState, n));
        }
        EXPECT_EQ(reader.buffered(), 0);
    }
}

TEST(MirrorReaderTest, ABadStreamIsRefusedAndStaysRefused) {
    QByteArray huge(4, '\0');
    qToBigEndian<quint32>(kMaxMirrorMessage + 1, huge.data());
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"a length over the cap, before its bytes arrive", huge},
        {"not JSON", Frame("{\"t\":")},
        {"a JSON array", Frame("[\"t\"]")},
        {"an object without a kind", Frame("{\"n\":1}")},
        {"a kind that is not text", Frame("{\"t\":5}")},
    };
    for (const auto& c : cases) {
        MirrorReader reader;
        reader.Append(c.bytes);
        QJsonObject message;
        QString error;
        EXPECT_EQ(reader.Next(&message, &error), MirrorReader::Result::Bad) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
        // Good bytes after bad ones are not trusted either.
        reader.Append(EncodeMirrorMessage(Message(mirror::kBeat, 1)));
        EXPECT_EQ(reader.Next(&message, &error), MirrorReader::Result::Bad) << c.what;
        EXPECT_EQ(reader.buffered(), 0) << c.what << ": nothing kept after a bad stream";
    }
}

TEST(MirrorProofTest, OnlyTheSameKeyGivesTheSameProof) {
    const QByteArray nonce = MirrorNonce();
    EXPECT_NE(nonce, MirrorNonce());
    const QString proof = MirrorProof(QStringLiteral("2468"), nonce);
    EXPECT_TRUE(SameProof(proof, MirrorProof(QStringLiteral("2468"), nonce)));
    EXPECT_FALSE(SameProof(proof, MirrorProof(QStringLiteral("2469"), nonce)));
    EXPECT_FALSE(SameProof(proof, MirrorProof(QStringLiteral("2468"), MirrorNonce())));
    EXPECT_FALSE(SameProof(QString(), QString()));
}

TEST(MirrorShowTest, ABackupGetsTheFilesAndKeepsTracksWithTheirLyrics) {
    TempDir main;
    TempDir backup;
    ASSERT_TRUE(QDir().mkpath(main.file(QStringLiteral("act1"))));
    ASSERT_TRUE(QDir().mkpath(main.file(QStringLiteral("act2"))));
    const QString song = main.write(QStringLiteral("act1/song.mp3"), QByteArray("ID3 audio"));
    const QString lyric = main.write(QStringLiteral("act1/song.lrc"), QByteArray("[00:01.00]a"));
    // The same name in two folders: two different files for the backup too.
    const QString first = main.write(QStringLiteral("act1/script.txt"), QByteArray("one"));
    const QString second = main.write(QStringLiteral("act2/script.txt"), QByteArray("two"));
    const QString missing = main.file(QStringLiteral("act2/gone.txt"));
    const QStringList entries{song, first, second, missing};

    const MirrorShowContent show = CollectShow(entries);
    EXPECT_EQ(show.files.size(), 4); // the lyric came with its track; the missing file did not
    const std::optional<MirrorShowContent> received = ShowFromMessage(
        QJsonDocument::fromJson(QJsonDocument(ShowToMessage(show)).toJson()).object());
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(*received, show);

    QString error;
    const std::optional<QStringList> local = PlaceShow(*received, backup.path(), &error);
    ASSERT_TRUE(local.has_value()) << error.toStdString();
    ASSERT_EQ(local->size(), 4);
    for (const QString& path : *local) {
        EXPECT_TRUE(path.startsWith(backup.path() + QLatin1Char('/'))) << path.toStdString();
    }
    EXPECT_EQ(TempDir::read((*local)[0]), QByteArray("ID3 audio"));
    EXPECT_EQ(TempDir::read(PartnerPath((*local)[0])), QByteArray("[00:01.00]a"));
    EXPECT_EQ(TempDir::read((*local)[1]), QByteArray("one"));
    EXPECT_EQ(TempDir::read((*local)[2]), QByteArray("two"));
    EXPECT_FALSE(QFileInfo::exists((*local)[3]));

    // A change on the main station's disk changes the key the mirror watches.
    const QString before = ShowFilesKey(entries);
    main.write(QStringLiteral("act2/script.txt"), QByteArray("two, longer"));
    EXPECT_NE(ShowFilesKey(entries), before);
    EXPECT_EQ(ShowFilesKey(entries), ShowFilesKey(entries));
    (void)lyric;
}

TEST(MirrorShowTest, NamesFromTheNetworkNeverLeaveTheBackupsFolder) {
    TempDir backup;
    for (const char* hostile : {"../../etc/passwd", "/../../x", "a/b/../../../c", "..\\..\\x"}) {
        const QString placed = PlacedPath(backup.path(), QString::fromLatin1(hostile));
        if (placed.isEmpty()) {
            continue;
        }
        EXPECT_TRUE(placed.startsWith(backup.path() + QLatin1Char('/'))) << hostile;
        EXPECT_EQ(QDir::cleanPath(placed), placed) << hostile;
    }
    for (const char* unusable : {"", "dir/", "dir/..", "..", "dir/."}) {
        EXPECT_TRUE(PlacedPath(backup.path(), QString::fromLatin1(unusable)).isEmpty()) << unusable;
    }
    const auto show = [](const QJsonValue& path, const QJsonValue& data) {
        QJsonArray files;
        files.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("data"), data}});
        return QJsonObject{{QStringLiteral("t"), QStringLiteral("show")},
                           {QStringLiteral("entries"), QJsonArray{}},
                           {QStringLiteral("files"), files}};
    };
    EXPECT_FALSE(ShowFromMessage(show(QStringLiteral("/a/.."), QStringLiteral("AA=="))));
    EXPECT_FALSE(ShowFromMessage(show(QStringLiteral("/a/b.txt"), QStringLiteral("not base64!"))));
    EXPECT_FALSE(ShowFromMessage(show(QStringLiteral("/a/b.txt"), 5)));
    EXPECT_FALSE(ShowFromMessage(QJsonObject{{QStringLiteral("t"), QStringLiteral("show")}}));
    EXPECT_TRUE(ShowFromMessage(show(QStringLiteral("/a/b.txt"), QStringLiteral("AA=="))));
}
