// Subtitle files in the window against a simulated card on loopback: an SRT
// with its track shows each cue at its time and nothing between cues, and a
// file a translator rewrites is read again without anything reaching the card.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"
#include "TestTracks.h"

#include "ui/LineListView.h"

#include "CardBank.h"
#include "link/FrameEncoding.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QSaveFile>

namespace {

const QString kReloaded = QStringLiteral("字幕文件已在外部修改，已重新载入");

QByteArray SrtBytes(const QString& text) {
    // As subtitle editors deliver them: UTF-8 with a byte order mark, CR LF.
    QString crlf = text;
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return EncodeText(crlf, TextEncoding::Utf8Bom);
}

class SurtitleShowTest : public OneCardStation {
protected:
    // What the card shows for two rows, rendered apart from the station.
    QImage Picture(TMainForm& w, const QString& row1, const QString& row2 = QString()) {
        QtRasteriser rasteriser;
        const TSettings active = w.settings().ActiveSettings;
        TextRenderer renderer(active, rasteriser);
        renderer.RenderSubtitle(ScreenId::h, row1, row2);
        return Thresholded(renderer.previewImage(ScreenId::h), ColourKind::Dual);
    }
    QImage Expected(TMainForm& w) {
        return Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual);
    }
};

TEST_F(SurtitleShowTest, AnSrtWithItsTrackShowsEachCueAtItsTimeAndNothingBetween) {
    const QString srt = home() + QStringLiteral("/第一幕.srt");
    {
        QFile file(srt);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(SrtBytes(QStringLiteral("1\n00:00:00,500 --> 00:00:02,000\n<i>第一句</i>\n\n"
                                           "2\n00:00:03,500 --> 00:00:05,000\n第二句\n\n")));
    }
    ToneTrack tone;
    tone.seconds = 6.0;
    MakeToneMp3(file(QStringLiteral("第一幕.mp3")), tone);
    SettingsStore config = OneCardConfig(WriteLines(QStringLiteral("show.lft"), {srt}));
    config.Play.AutoPlayCaption = true;
    // Two rows: the row below a cue would show the next one, so the blank
    // must clear both.
    config.StoredSettings.effect(ScreenId::h).Row = 2;
    WriteConfig(config);
    TMainForm& w = Start();
    ASSERT_EQ(w.player().state(), PlayerState::Ready);
    ASSERT_FALSE(w.player().trackPath().isEmpty());
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    ASSERT_EQ(lines->model()->rowCount(), 4);
    EXPECT_EQ(lines->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("字幕"));

    const QImage first = Picture(w, QStringLiteral("第一句"));
    const QImage second = Picture(w, QStringLiteral("第二句"));
    const QImage blank = Picture(w, QString());
    ASSERT_NE(first, blank);
    ASSERT_NE(Picture(w, QString(), QStringLiteral("第二句")), blank);

    QTest::keyClick(&w, Qt::Key_F1);
    ASSERT_EQ(w.player().state(), PlayerState::Playing);
    // Each state lasts a second and a half of the track.
    ASSERT_EVENTUALLY_EQ(Shown(), first, 10000);
    ASSERT_EVENTUALLY_EQ(Shown(), blank, 10000);
    EXPECT_EQ(lines->selectedRow(), 1);
    ASSERT_EVENTUALLY_EQ(Shown(), second, 10000);
    ASSERT_EVENTUALLY_EQ(Shown(), blank, 10000);
    ASSERT_EVENTUALLY_EQ(lines->selectedRow(), 3, 10000);
    ASSERT_EVENTUALLY_EQ(w.player().state(), PlayerState::Ready, 15000);
}

TEST_F(SurtitleShowTest, AFileRewrittenOutsideIsReloadedWithTheSelectionKeptAndNothingSent) {
    const QString srt = home() + QStringLiteral("/act.srt");
    const auto write = [&](const QString& b, const QString& c) {
        QFile file(srt);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(SrtBytes(QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                           "2\n00:00:03,000 --> 00:00:04,000\n%1\n\n"
                                           "3\n00:00:05,000 --> 00:00:06,000\n%2\n\n")
                                .arg(b, c)));
    };
    write(QStringLiteral("第二句"), QStringLiteral("第三句"));
    WriteConfig(OneCardConfig(WriteLines(QStringLiteral("show.lft"), {srt})));
    TMainForm& w = Start();
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    lines->setCurrentIndex(lines->model()->index(2, 1));
    ASSERT_EQ(w.player().selectedLine(), 2);
    ASSERT_EVENTUALLY_EQ(Shown(), Picture(w, QStringLiteral("第二句")), 10000);
    const QImage preview = w.renderer().previewImage(ScreenId::h);
    const long long datagrams = m_bank->DatagramsHandled();

    // The translator's editor writes the file in place.
    write(QStringLiteral("第二句改"), QStringLiteral("第三句改"));
    ASSERT_EVENTUALLY_EQ(w.statusText(2), kReloaded, 10000);
    EXPECT_EQ(w.document().lines()[2].Text, QStringLiteral("第二句改"));
    EXPECT_EQ(lines->model()->index(2, 1).data().toString(), QStringLiteral("第二句改"));
    EXPECT_EQ(lines->selectedRow(), 2);
    EXPECT_EQ(w.player().selectedLine(), 2);
    // Nothing was drawn for the screens, and nothing went to the card.
    EXPECT_EQ(w.renderer().previewImage(ScreenId::h), preview);
    EXPECT_EQ(m_bank->DatagramsHandled(), datagrams);
    EXPECT_EQ(Shown(), Picture(w, QStringLiteral("第二句")));

    // The operator steps on: the blank after it, then the new third line.
    QTest::keyClick(lines, Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 3);
    ASSERT_EVENTUALLY_EQ(Shown(), Picture(w, QString()), 10000);

    // Another editor saves by renaming a new file over the old one.
    {
        QSaveFile save(srt);
        ASSERT_TRUE(save.open(QIODevice::WriteOnly));
        save.write(SrtBytes(QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                           "2\n00:00:03,000 --> 00:00:04,000\n第二句改\n\n"
                                           "3\n00:00:05,000 --> 00:00:06,000\n第三句又改\n\n")));
        ASSERT_TRUE(save.commit());
    }
    ASSERT_EVENTUALLY_EQ(w.statusText(2), kReloaded, 10000);
    EXPECT_EQ(w.player().selectedLine(), 3);
    QTest::keyClick(lines, Qt::Key_Space);
    ASSERT_EVENTUALLY_EQ(Shown(), Picture(w, QStringLiteral("第三句又改")), 10000);
    EXPECT_EQ(Shown(), Expected(w));
}

} // namespace
