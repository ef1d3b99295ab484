// Reading what a card plays on its own: the pictures must be the exact inverse
// of the station's offline encoder, and the record chain must be followed as
// far as it is sound, never further, whatever the flash holds.

#include "OfflineFlash.h"

#include "../../link/LiveTestSupport.h"

#include "OfflineContent.h"

#include "support/Pictures.h"

#include <gtest/gtest.h>

#include <functional>

using namespace offline_test;
using offline::OfflineProgramme;
using offline::ReadOfflineProgramme;

namespace {

const char* KindName(ColourKind kind) {
    switch (kind) {
    case ColourKind::Single:
        return "single";
    case ColourKind::Dual:
        return "dual";
    case ColourKind::Full:
        return "full";
    }
    return "?";
}

QString Hex(std::uint32_t value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

std::string Joined(const QStringList& problems) {
    return problems.join(QStringLiteral(" | ")).toStdString();
}

} // namespace

TEST(OfflinePictureTest, DecodingInvertsTheStationEncoder) {
    const QSize sizes[] = {{64, 16}, {13, 7}, {1, 1}, {100, 32}, {9, 3}};
    unsigned seed = 1;
    for (ColourKind kind : {ColourKind::Single, ColourKind::Dual, ColourKind::Full}) {
        for (QSize size : sizes) {
            SCOPED_TRACE(testing::Message()
                         << KindName(kind) << ' ' << size.width() << 'x' << size.height());
            const QImage picture = NoisePicture(size.width(), size.height(), seed++);
            Bytes data = PictureData(picture, kind);
            ASSERT_EQ(data.size(), offline::PictureBytes(size, kind));
            EXPECT_EQ(offline::DecodeOfflinePicture(data, size, kind), Thresholded(picture, kind));
            // A pass never reads into the next one, nor past the picture.
            data.push_back(0xFF);
            EXPECT_EQ(offline::DecodeOfflinePicture(data, size, kind), Thresholded(picture, kind));
            data.resize(data.size() - 2);
            EXPECT_TRUE(offline::DecodeOfflinePicture(data, size, kind).isNull());
        }
    }
}

TEST(OfflinePictureTest, PassesStartOnTheByteAfterTheLastPixel) {
    // 3 x 3 dual: nine pixels, so each pass is two bytes and green's first
    // pixel is bit 0 of byte 2, not bit 1 of byte 1.
    const Bytes data = {0x01, 0x01, 0x01, 0x00};
    const QImage picture = offline::DecodeOfflinePicture(data, QSize(3, 3), ColourKind::Dual);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 255, 0)); // red and green
    EXPECT_EQ(picture.pixel(2, 2), qRgb(255, 0, 0));   // pixel 8: bit 0 of red's second byte
    EXPECT_EQ(picture.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(offline::DecodeOfflinePicture(data, QSize(0, 3), ColourKind::Dual).isNull());
}

TEST(OfflinePictureTest, CardTypeChoosesThePasses) {
    struct Case {
        int style;
        ColourKind kind;
    };
    for (const Case& c :
         {Case{0, ColourKind::Single}, Case{1, ColourKind::Dual}, Case{2, ColourKind::Full}}) {
        EXPECT_EQ(offline::CardColourKind(MakeCardParams(64, 16, 0, c.style)), c.kind);
    }
    CardParams params = MakeCardParams(64, 16, 0, 0);
    for (std::uint8_t type : {3, 5}) {
        params[6] = type;
        EXPECT_EQ(offline::CardColourKind(params), ColourKind::Single);
    }
    for (std::uint8_t type : {4, 6}) {
        params[6] = type;
        EXPECT_EQ(offline::CardColourKind(params), ColourKind::Dual);
    }
}

namespace {

// A dual-colour card of 64 x 16 with an advertisement and two scripts, three
// records: a wide scroll, a move and a narrow picture whose rows do not fill
// whole bytes.
class OfflineChainTest : public ::testing::Test {
protected:
    const CardParams params = MakeCardParams(64, 16, 0, 1);
    const ColourKind kind = ColourKind::Dual;
    const TestRecord advert{NoisePicture(64, 16, 11), 0, 1, 0};
    const std::vector<std::vector<TestRecord>> scripts{
        {{NoisePicture(100, 16, 12), 1, 3, 2}},
        {{NoisePicture(64, 16, 13), 2, 10, 0}, {NoisePicture(13, 16, 14), 5, 1, 0}}};
    const SubtitleFile file = MakeSubtitleFile(scripts, kind);
    const Bytes flash = MakeFlash(advert, file, kind);

    const std::vector<TestRecord> records = [this] {
        std::vector<TestRecord> all;
        for (const auto& script : scripts) {
            all.insert(all.end(), script.begin(), script.end());
        }
        return all;
    }();
    std::size_t RecordAddress(int index) const { return kFile + file.offsets[std::size_t(index)]; }
    std::uint32_t RecordSize(int index) const {
        return 14 + static_cast<std::uint32_t>(
                        PictureData(records[std::size_t(index)].picture, kind).size());
    }
    // Rewrites a record's header with a right checksum, so only the named
    // field is wrong.
    void Rewrite(Bytes& bytes, int index, std::uint32_t previous, std::uint32_t next) const {
        const TestRecord& record = records[std::size_t(index)];
        Put(bytes, RecordAddress(index),
            Header(previous, next, record.effect, record.speed, record.pause,
                   record.picture.width()));
    }
};

} // namespace

TEST_F(OfflineChainTest, ReadsTheAdvertisementAndEveryRecordAcrossScripts) {
    Bytes whole = flash;
    whole.resize(SimCard::kFlashSize, 0xFF); // a card's whole flash reads the same
    for (const Bytes* bytes : {&flash, static_cast<const Bytes*>(&whole)}) {
        const OfflineProgramme programme = ReadOfflineProgramme(*bytes, params);
        EXPECT_TRUE(programme.problems.isEmpty()) << Joined(programme.problems);
        ASSERT_TRUE(programme.advert);
        EXPECT_EQ(programme.advert->address, kAdvert);
        EXPECT_EQ(programme.advert->size, QSize(64, 16));
        EXPECT_EQ(offline::DecodeRecord(*bytes, params, *programme.advert),
                  Thresholded(advert.picture, kind));
        ASSERT_EQ(programme.subtitles.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            SCOPED_TRACE(i);
            const offline::OfflineRecord& read = programme.subtitles[i];
            EXPECT_EQ(read.offset, file.offsets[i]);
            EXPECT_EQ(read.address, kFile + file.offsets[i]);
            EXPECT_EQ(read.effect, records[i].effect);
            EXPECT_EQ(read.speed, records[i].speed);
            EXPECT_EQ(read.pause, records[i].pause);
            EXPECT_EQ(read.size, records[i].picture.size());
            EXPECT_EQ(offline::DecodeRecord(*bytes, params, read),
                      Thresholded(records[i].picture, kind));
        }
    }
}

TEST_F(OfflineChainTest, UnwrittenFlashReadsAsErased) {
    // A transfer that stopped inside the last record: the card shows its
    // unwritten rest lit, as erased flash is all ones.
    Bytes cut = flash;
    cut.resize(cut.size() - 10);
    const OfflineProgramme programme = ReadOfflineProgramme(cut, params);
    ASSERT_EQ(programme.subtitles.size(), 3u);
    const QImage last = offline::DecodeRecord(cut, params, programme.subtitles[2]);
    ASSERT_EQ(last.size(), QSize(13, 16));
    EXPECT_EQ(last.pixel(12, 15), qRgb(255, 255, 0));
    EXPECT_EQ(last.copy(0, 0, 13, 8), Thresholded(records[2].picture, kind).copy(0, 0, 13, 8));
}

TEST_F(OfflineChainTest, BrokenFlashPlaysWhatIsSoundAndNamesTheRest) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool advert;
        std::size_t subtitles;
        QString problem; // part of the first problem; empty: none
        CardParams params;
    };
    const std::uint32_t flashEnd = static_cast<std::uint32_t>(SimCard::kFlashSize);
    const Case cases[] = {
        {"erased", [](Bytes& b) { b.clear(); }, false, 0, {}, params},
        {"whole flash erased",
         [](Bytes& b) { b.assign(SimCard::kFlashSize, 0xFF); },
         false,
         0,
         {},
         params},
        {"advertisement checksum", [](Bytes& b) { b[kAdvert + 8] ^= 1; }, false, 3,
         QStringLiteral("广告: 校验和错"), params},
        {"advertisement with offsets",
         [](Bytes& b) { Put(b, kAdvert, Header(0, 4096, 0, 1, 0, 64)); }, false, 3,
         QStringLiteral("广告: 前后偏移"), params},
        {"second record checksum", [&](Bytes& b) { b[RecordAddress(1) + 13] ^= 0x40; }, true, 1,
         QStringLiteral("字幕 #2 (%1): 校验和错").arg(Hex(file.offsets[1])), params},
        {"second record in the data of an erased flash",
         [&](Bytes& b) { std::fill(b.begin() + std::ptrdiff_t(RecordAddress(1)), b.end(), 0xFF); },
         true, 1, QStringLiteral("剧本 1: 首条 %1 不在字幕链上").arg(Hex(file.offsets[1])), params},
        {"chain leaves the flash", [&](Bytes& b) { Rewrite(b, 0, kRecords, flashEnd - kFile - 4); },
         true, 1, QStringLiteral("在闪存之外"), params},
        {"chain far outside", [&](Bytes& b) { Rewrite(b, 0, kRecords, 0xFFFFFFF0); }, true, 1,
         QStringLiteral("在闪存之外"), params},
        {"record points to itself",
         [&](Bytes& b) { Rewrite(b, 1, file.offsets[0], file.offsets[1]); }, true, 2,
         QStringLiteral("指回"), params},
        {"record points back to the first",
         [&](Bytes& b) { Rewrite(b, 2, file.offsets[1], file.offsets[0]); }, true, 3,
         QStringLiteral("指回"), params},
        {"next past the end of the record",
         [&](Bytes& b) { Rewrite(b, 0, kRecords, file.offsets[1] + 16); }, true, 1,
         QStringLiteral("不在记录末尾"), params},
        {"wrong previous",
         [&](Bytes& b) { Rewrite(b, 2, file.offsets[0], file.offsets[2] + RecordSize(2)); }, true,
         2,
         QStringLiteral("字幕 #3 (%1): 前一条 %2 应为 %3")
             .arg(Hex(file.offsets[2]), Hex(file.offsets[0]), Hex(file.offsets[1])),
         params},
        {"first record does not name itself", [&](Bytes& b) { Rewrite(b, 0, 0, file.offsets[1]); },
         true, 0, QStringLiteral("前一条"), params},
        {"picture larger than the flash",
         [&](Bytes& b) {
             Put(b, RecordAddress(0), Header(kRecords, file.offsets[1], 1, 3, 2, 0xFFFF));
         },
         true, 0, QStringLiteral("字幕 #1 (0x1000): 画面"), MakeCardParams(64, 0xFFFF, 0, 1)},
        {"script off the chain", [&](Bytes& b) { PutLe32(b, kFile + 4, file.offsets[1] + 1); },
         true, 3, QStringLiteral("剧本 1: 首条"), params},
        {"script outside the flash", [&](Bytes& b) { PutLe32(b, kFile + 8, 0x7FFFFFFF); }, true, 3,
         QStringLiteral("剧本 2: 首条 0x7FFFFFFF"), params},
        {"card height 0", [](Bytes&) {}, false, 0, QStringLiteral("卡高为 0"),
         MakeCardParams(64, 0, 0, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = flash;
        c.damage(bytes);
        const OfflineProgramme programme = ReadOfflineProgramme(bytes, c.params);
        EXPECT_EQ(programme.advert.has_value(), c.advert);
        EXPECT_EQ(programme.subtitles.size(), c.subtitles);
        if (c.problem.isEmpty()) {
            EXPECT_TRUE(programme.problems.isEmpty()) << Joined(programme.problems);
        } else {
            ASSERT_FALSE(programme.problems.isEmpty());
            EXPECT_TRUE(programme.problems.front().contains(c.problem))
                << Joined(programme.problems);
        }
        // What was read is sound: every record decodes to its picture.
        for (std::size_t i = 0; i < programme.subtitles.size(); ++i) {
            EXPECT_EQ(offline::DecodeRecord(bytes, c.params, programme.subtitles[i]),
                      Thresholded(records[i].picture, kind));
        }
    }
}

TEST_F(OfflineChainTest, OutOfRangeValuesPlayClampedAndAreNamed) {
    Bytes bytes = flash;
    const TestRecord& first = records[0];
    Put(bytes, RecordAddress(0), Header(kRecords, file.offsets[1], 9, 0, 7, first.picture.width()));
    const OfflineProgramme programme = ReadOfflineProgramme(bytes, params);
    ASSERT_EQ(programme.subtitles.size(), 3u);
    EXPECT_EQ(programme.subtitles[0].effect, 0); // shown still
    EXPECT_EQ(programme.subtitles[0].speed, 1);  // a speed of 0 would never arrive
    EXPECT_EQ(programme.subtitles[0].pause, 5);
    const QString all = programme.problems.join(QLatin1Char('|'));
    EXPECT_TRUE(all.contains(QStringLiteral("未知效果 9"))) << Joined(programme.problems);
    EXPECT_TRUE(all.contains(QStringLiteral("速度 0"))) << Joined(programme.problems);
    EXPECT_TRUE(all.contains(QStringLiteral("停留 7"))) << Joined(programme.problems);
}

TEST(OfflineFlashTest, ZeroedFlashIsNotAProgrammeAndItsProblemsAreBounded) {
    // Zeros sum to a right checksum: only the fields can tell it apart.
    const Bytes zeros(0x20000, 0);
    const OfflineProgramme programme = ReadOfflineProgramme(zeros, MakeCardParams(64, 16, 0, 1));
    EXPECT_TRUE(programme.empty());
    ASSERT_EQ(programme.problems.size(), offline::kMaxProblems + 1);
    EXPECT_TRUE(programme.problems[0].contains(QStringLiteral("广告: 宽度为 0")));
    EXPECT_TRUE(programme.problems[1].contains(QStringLiteral("前一条")));
    // 1024 scripts all name offset 0: the first 48 listed, the rest counted.
    EXPECT_EQ(programme.problems.back(), QStringLiteral("另有 976 处"));
}

TEST(OfflineFlashTest, AFlashOfTinyRecordsEndsAtTheFlashEnd) {
    // A 1 x 1 single-colour card: every record is 15 bytes; the chain runs to
    // the last record that fits and stops there.
    const CardParams tiny = MakeCardParams(8, 1, 0, 0);
    Bytes bytes(SimCard::kFlashSize, 0xFF);
    std::uint32_t offset = kRecords;
    std::uint32_t previous = kRecords;
    std::size_t count = 0;
    while (kFile + offset + 15 <= SimCard::kFlashSize) {
        const auto header = Header(previous, offset + 15, 1, 1, 0, 1);
        Put(bytes, kFile + offset, header);
        bytes[kFile + offset + 14] = 0x01;
        previous = offset;
        offset += 15;
        ++count;
    }
    const OfflineProgramme programme = ReadOfflineProgramme(bytes, tiny);
    EXPECT_TRUE(programme.problems.isEmpty()) << Joined(programme.problems);
    EXPECT_EQ(programme.subtitles.size(), count);
}
