// The offline dialog and the stand-by advertisement command on the main
// window, against simulated cards on loopback.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "CardBank.h"
#include "LiveTestSupport.h"

#include "ui/OfflineForm.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

class OfflineDialogTest : public OneCardStation {
protected:
    // The horizontal screen alone, dual colour, with its card and a playlist
    // of one script.
    void WriteShow() {
        const QString script = WriteLines(QStringLiteral("开场.txt"),
                                          {QStringLiteral("各位观众"), QStringLiteral("晚上好")});
        const QString playlist = WriteLines(QStringLiteral("show.lft"), {script});
        SettingsStore store = OneCardConfig(playlist, true);
        store.Ad.hang1 = QStringLiteral("欢迎光临");
        store.Ad.hang2 = QString();
        WriteConfig(store);
    }
    QByteArray Flash(std::uint32_t at, qsizetype size) {
        const std::vector<std::uint8_t> flash = m_bank->Flash(m_card.mac);
        if (flash.size() < at + static_cast<std::size_t>(size)) {
            return {};
        }
        return QByteArray(reinterpret_cast<const char*>(flash.data()) + at, size);
    }
    template <typename T> static T* in(QDialog& dialog, const char* name) {
        T* found = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

TEST_F(OfflineDialogTest, UsbExportAndNetworkSendFromTheDialog) {
    WriteShow();
    Start();
    TempDir stick;
    QStringList usbLog;
    QStringList netLog;
    int progressMax = -1;
    int progressValue = -1;
    answers().forms.push_back([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("产生脱机数据及发送"));
        auto& form = static_cast<TtuojiForm&>(dialog);
        in<QComboBox>(dialog, "ComboBox1")->setEditText(stick.path());
        in<QPushButton>(dialog, "ButtonUpan")->click();
        usbLog = form.logLines();
        in<QPushButton>(dialog, "ButtonSend")->click();
        netLog = form.logLines();
        progressMax = in<QProgressBar>(dialog, "ProgressBar1")->maximum();
        progressValue = in<QProgressBar>(dialog, "ProgressBar1")->value();
        EXPECT_TRUE(in<QPushButton>(dialog, "ButtonExit")->isEnabled());
        in<QPushButton>(dialog, "ButtonExit")->click();
        return dialog.result();
    });
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    ASSERT_EQ(answers().shown, QStringList{QStringLiteral("form:产生脱机数据及发送")});

    EXPECT_EQ(usbLog.first(), QStringLiteral("循环播放列表生成脱机数据文件"));
    EXPECT_TRUE(usbLog.contains(QStringLiteral("写入横屏字幕成功!")));
    EXPECT_TRUE(usbLog.contains(QStringLiteral("写入纵屏字幕失败!"))); // not in use, no file
    EXPECT_EQ(usbLog.last(), QStringLiteral("请确认u盘为FAT或者FAT32文件系统，否则请格式化"));
    const QByteArray subtitles = TempDir::read(file(QStringLiteral("data/zim_h.bin")));
    // Title and two rows of 256 × 32 in two colours.
    EXPECT_EQ(subtitles.size(), 4096 + 3 * (14 + 2048));
    EXPECT_EQ(TempDir::read(stick.file(QStringLiteral("zim_h.bin"))), subtitles);

    const QString mac = MacText(m_card.mac);
    EXPECT_TRUE(netLog.contains(QStringLiteral("发送横屏广告:") + mac));
    EXPECT_TRUE(netLog.contains(QStringLiteral("发送横屏字幕:") + mac));
    const int blocks = static_cast<int>(subtitles.size() / 1024);
    EXPECT_TRUE(netLog.contains(QStringLiteral("总包数%1已发送%1").arg(blocks)))
        << netLog.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(netLog.contains(QStringLiteral("所有横屏发送完毕")));
    EXPECT_EQ(progressMax, blocks);
    EXPECT_EQ(progressValue, blocks);
    EXPECT_EQ(Flash(0xB000, subtitles.size()), subtitles);
    const QByteArray advert = TempDir::read(file(QStringLiteral("data/gg_h.bin")));
    ASSERT_FALSE(advert.isEmpty());
    EXPECT_EQ(Flash(0x1000, advert.size()), advert);
    EXPECT_TRUE(m_bank->Card(m_card.mac)->startOfflineOnDisconnect);
}

TEST_F(OfflineDialogTest, AfterGenerationTheHighlightedEntryIsTheOneLoaded) {
    WriteShow();
    const QString second = WriteLines(QStringLiteral("第二场.txt"), {QStringLiteral("第二场开始")});
    WriteLines(QStringLiteral("show.lft"), {file(QStringLiteral("开场.txt")), second});
    TMainForm& w = Start();
    ASSERT_EQ(w.player().selectedEntry(), 0);
    TempDir stick;
    answers().forms.push_back([&](QDialog& dialog) {
        in<QComboBox>(dialog, "ComboBox1")->setEditText(stick.path());
        in<QPushButton>(dialog, "ButtonUpan")->click();
        in<QPushButton>(dialog, "ButtonExit")->click();
        return dialog.result();
    });
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    // Generation went through every entry and left the last one loaded: the
    // file list says so, so F1 plays what the operator sees highlighted.
    EXPECT_EQ(w.player().selectedEntry(), 1);
    EXPECT_EQ(w.document().document().path, second);
    auto* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
    EXPECT_EQ(files->indexOfTopLevelItem(files->currentItem()), 1);
    // A click on the first entry opens it again.
    files->setCurrentItem(files->topLevelItem(0));
    EXPECT_EQ(w.player().selectedEntry(), 0);
    EXPECT_EQ(w.document().document().path, file(QStringLiteral("开场.txt")));
}

TEST_F(OfflineDialogTest, AnEmptyDriveBoxIsRefusedBeforeAnythingIsGenerated) {
    WriteShow();
    Start();
    QStringList log;
    answers().forms.push_back([&](QDialog& dialog) {
        in<QComboBox>(dialog, "ComboBox1")->setEditText(QString());
        in<QPushButton>(dialog, "ButtonUpan")->click();
        log = static_cast<TtuojiForm&>(dialog).logLines();
        in<QPushButton>(dialog, "ButtonExit")->click();
        return dialog.result();
    });
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    EXPECT_EQ(log, QStringList{QStringLiteral("请先选择U盘")});
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("data/zim_h.bin"))));
}

// A close (the window's, or SIGTERM's) while the offline data is generated
// or written into the cards waits for the next safe point: the command stops
// there, nothing more is sent, and then the station closes.
TEST_F(OfflineDialogTest, ClosingWhileTheFilesAreGeneratedStopsTheSendAndThenCloses) {
    WriteShow();
    TMainForm& w = Start();
    QStringList log;
    bool closedInside = true;
    answers().forms.push_back([&](QDialog& dialog) {
        // The first events the generation lets run bring the close.
        QTimer::singleShot(0, &w, [&] {
            w.close();
            closedInside = w.hasClosed();
        });
        in<QPushButton>(dialog, "ButtonSend")->click();
        log = static_cast<TtuojiForm&>(dialog).logLines();
        return int(QDialog::Rejected);
    });
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(log.contains(QStringLiteral("发送已停止：未向任何控制卡发送")))
        << log.join(u'\n').toStdString();
    EXPECT_EQ(m_bank->Card(m_card.mac)->flashBlocks, 0);
    ASSERT_EVENTUALLY(w.hasClosed(), 10000);
    EXPECT_TRUE(QFileInfo::exists(configPath()));
}

TEST_F(OfflineDialogTest, ClosingDuringAFlashTransferStopsAfterTheBlockInFlight) {
    WriteShow();
    m_bank.reset();
    BankOptions options;
    options.portOffset = portOffset();
    m_bank = std::make_unique<CardBank>(options);
    // Slow answers leave the window time to close between two blocks even
    // when a loaded machine runs its timer late.
    m_card.faults.delayMs = 40;
    m_bank->AddCard(m_card);
    ASSERT_TRUE(m_bank->Start().ok);
    TMainForm& w = Start();
    QStringList log;
    bool closedInside = true;
    answers().forms.push_back([&](QDialog& dialog) {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &w, [&] {
            if (m_bank->Card(m_card.mac)->flashBlocks > 0) {
                watch.stop();
                w.close();
                closedInside = w.hasClosed();
            }
        });
        watch.start(1);
        in<QPushButton>(dialog, "ButtonSend")->click();
        log = static_cast<TtuojiForm&>(dialog).logLines();
        return int(QDialog::Rejected);
    });
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(log.contains(MacText(m_card.mac) + QStringLiteral("->已停止发送")))
        << log.join(u'\n').toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("所有横屏发送完毕")));
    const CardState card = *m_bank->Card(m_card.mac);
    EXPECT_GE(card.disconnects, 1);
    EXPECT_FALSE(card.startOfflineOnDisconnect);
    ASSERT_EVENTUALLY(w.hasClosed(), 10000);
}

TEST_F(OfflineDialogTest, TheAdvertisementCommand) {
    WriteShow();
    Start();
    // A wrong password, and the service password of the screen parameters,
    // do not open it.
    for (const QString& wrong : {QStringLiteral("123"), QStringLiteral("946")}) {
        answers().shown.clear();
        answers().texts.push_back(wrong);
        find<QAction>(QStringLiteral("MenuBackText"))->trigger();
        EXPECT_EQ(answers().shown, (QStringList{QStringLiteral("text:请输入密码："),
                                                QStringLiteral("inform:密码错误！")}));
    }

    answers().shown.clear();
    answers().texts.push_back(QStringLiteral("527"));
    answers().forms.push_back([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置脱机文字"));
        EXPECT_EQ(in<QLineEdit>(dialog, "Edit1")->text(), QStringLiteral("欢迎光临"));
        in<QLineEdit>(dialog, "Edit1")->setText(QStringLiteral("明晚再会"));
        in<QPushButton>(dialog, "Button1")->click();
        return dialog.result();
    });
    find<QAction>(QStringLiteral("MenuBackText"))->trigger();
    EXPECT_EQ(answers().shown, (QStringList{QStringLiteral("text:请输入密码："),
                                            QStringLiteral("form:设置脱机文字")}));
    EXPECT_EQ(window().statusText(2), QStringLiteral("发送脱机文字命令完毕"));
    EXPECT_EQ(window().settings().Ad.hang1, QStringLiteral("明晚再会"));
    const QByteArray advert = TempDir::read(file(QStringLiteral("data/gg_h.bin")));
    ASSERT_EQ(advert.size(), 14 + 2048);
    EXPECT_EQ(Flash(0x1000, advert.size()), advert);
    // The picture filed is the advertisement rendered for the screen.
    const QImage shown = window().worker().ScreenBitmap(ScreenId::h);
    EXPECT_EQ(shown.width(), 256);

    // Not while connected: the password is never asked.
    QTest::keyClick(&window(), Qt::Key_F5);
    ASSERT_TRUE(window().live().IsConnected());
    answers().shown.clear();
    find<QAction>(QStringLiteral("MenuBackText"))->trigger();
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    EXPECT_EQ(answers().shown, (QStringList{QStringLiteral("inform:请先断开与字幕机的连接。"),
                                            QStringLiteral("inform:请先断开与字幕机的连接。")}));
}

} // namespace
