#include "EngineFixture.h"

#include "playback/TrackOperations.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace {

QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

} // namespace

class BadInputTest : public EngineTest {
protected:
    QString Path(const QString& name) const { return QDir(TrackDir()).filePath(name); }

    // Plays an opened track to the end on the silent output, in steps, and
    // checks that it ends within its length without the engine stalling.
    void PlayThrough(AudioTrack& track) {
        ASSERT_TRUE(engine->Play(track.stream, true));
        for (int step = 0; step < 100 && engine->Activity(track.stream) != ChannelActivity::Stopped;
             ++step) {
            clock->AdvanceMilliseconds(100);
            engine->ReadSpectrum(track.stream, track.spectrum);
            engine->Level(track.stream);
            EXPECT_LE(engine->PositionBytes(track.stream), track.length);
        }
        EXPECT_EQ(engine->Activity(track.stream), ChannelActivity::Stopped);
    }
};

TEST_F(BadInputTest, FilesThatAreNoTracksGiveNoStream) {
    QByteArray text;
    for (int i = 0; i < 200; ++i) {
        text += "[00:01.00]这不是音乐 just some lyric text line\r\n";
    }
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (char& c : noise) {
        c = static_cast<char>(random.bounded(256));
    }
    QDir(TrackDir()).mkpath(QStringLiteral("folder.mp3"));
    const QString cases[] = {
        Path(QStringLiteral("missing.mp3")),
        WriteFile(Path(QStringLiteral("lyrics.mp3")), text.toStdString().c_str()),
        WriteFile(Path(QStringLiteral("empty.mp3")), QByteArray()),
        WriteFile(Path(QStringLiteral("tiny.mp3")), QByteArray("\xFF\xFB", 2)),
        WriteFile(Path(QStringLiteral("id3only.mp3")),
                  QByteArray("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + QByteArray(10, '\0')),
        Path(QStringLiteral("folder.mp3")),
        QString(),
    };
    for (const QString& path : cases) {
        AudioTrack track;
        EXPECT_FALSE(OpenTrack(*engine, track, path)) << path.toStdString();
        EXPECT_EQ(track.stream, 0u);
        EXPECT_EQ(track.length, 0);
        EXPECT_EQ(track.duration, 0);
    }
    // Random bytes may hold a few chance frame headers; whatever the decoder
    // makes of them must play and end.
    AudioTrack track;
    if (OpenTrack(*engine, track, WriteFile(Path(QStringLiteral("noise.mp3")), noise))) {
        PlayThrough(track);
    }
}

TEST_F(BadInputTest, TruncatedTrackPlaysWhatIsThereAndEnds) {
    const qint64 size = QFile(Sine3()).size();
    for (const qint64 cut : {size / 2, size / 2 + 1, size / 3 + 7, qint64{5000}}) {
        AudioTrack track;
        const QString path =
            WriteTruncatedCopy(Sine3(), Path(QStringLiteral("cut%1.mp3").arg(cut)), cut);
        ASSERT_TRUE(OpenTrack(*engine, track, path)) << cut;
        EXPECT_GT(track.length, 0);
        EXPECT_LT(track.length, 3 * kBytesPerSecond);
        PlayThrough(track);
    }
    // Cut inside the first frames there is nothing to play, or very little.
    for (const qint64 cut : {qint64{417}, qint64{900}, qint64{1300}}) {
        AudioTrack track;
        const QString path =
            WriteTruncatedCopy(Sine3(), Path(QStringLiteral("cut%1.mp3").arg(cut)), cut);
        if (OpenTrack(*engine, track, path)) {
            EXPECT_LT(track.length, kBytesPerSecond / 10) << cut;
            PlayThrough(track);
        } else {
            EXPECT_EQ(track.stream, 0u);
        }
    }
}

TEST_F(BadInputTest, TaggedVariableBitRateTrackHasItsTrueLength) {
    ToneTrack tone;
    tone.lameOptions = {QStringLiteral("-V"),          QStringLiteral("4"),
                        QStringLiteral("--add-id3v2"), QStringLiteral("--pad-id3v2-size"),
                        QStringLiteral("3000"),        QStringLiteral("--tt"),
                        QStringLiteral("Sine"),        QStringLiteral("--ta"),
                        QStringLiteral("Test")};
    const QString path = MakeToneMp3(Path(QStringLiteral("vbr.mp3")), tone);
    // A trailing ID3v1 tag too.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        QByteArray tag("TAG");
        tag.append(125, ' ');
        file.write(tag);
    }
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, path));
    EXPECT_EQ(track.length, 3 * kBytesPerSecond);
    EXPECT_EQ(track.duration, 3);
    ASSERT_TRUE(engine->Play(track.stream, true));
    clock->AdvanceMilliseconds(1500);
    ASSERT_TRUE(SeekByClick(*engine, track, 3, 4));
    clock->AdvanceMilliseconds(100);
    ASSERT_TRUE(engine->ReadSpectrum(track.stream, track.spectrum));
    EXPECT_EQ(std::max_element(track.spectrum.begin(), track.spectrum.end()) -
                  track.spectrum.begin(),
              10);
    PlayThrough(track);
}

TEST_F(BadInputTest, ChinesePathOpens) {
    const QString dir = Path(QStringLiteral("舞台音乐"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = QDir(dir).filePath(QStringLiteral("第一幕 序曲.mp3"));
    ASSERT_TRUE(QFile::copy(Sine3(), path));
    AudioTrack track;
    ASSERT_TRUE(OpenTrack(*engine, track, path));
    EXPECT_EQ(track.duration, 3);
    PlayThrough(track);
}
