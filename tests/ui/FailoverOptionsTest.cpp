// The main/backup options: the dialog, its menu entry and what it writes to
// Config.ini.
#include "StationFixture.h"

#include "ui/FailoverForm.h"

#include "core/TextFiles.h"
#include "show/FailoverSettings.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

const QString kNextStart = QStringLiteral("主备机设置将在下次启动时生效");
const QString kOverrideNote = QStringLiteral("本次启动的命令行参数优先于这里的设置。");

FailoverSettings Settings(StationRole role, const QString& peer, int mirrorPort, int silenceMs,
                          const QString& key) {
    FailoverSettings settings;
    settings.role = role;
    settings.peer = peer;
    settings.mirrorPort = mirrorPort;
    settings.silenceMs = silenceMs;
    settings.key = key;
    return settings;
}

template <typename T> T* Field(QDialog& form, const char* name) {
    T* found = form.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString ErrorText(QDialog& form) {
    return Field<QLabel>(form, "LabelError")->text();
}

// The lines of an INI text outside its [Failover] section.
QStringList LinesBesideFailover(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QStringList kept;
    bool inFailover = false;
    for (const QString& line : SplitLines(DecodeFileText(file.readAll()))) {
        if (line.trimmed().startsWith(u'[')) {
            inFailover =
                line.trimmed().compare(QLatin1String("[Failover]"), Qt::CaseInsensitive) == 0;
        }
        if (!inFailover) {
            kept << line;
        }
    }
    return kept;
}

} // namespace

TEST(FailoverForm, ShowsAndReturnsEverySetting) {
    const FailoverSettings cases[] = {
        FailoverSettings(),
        Settings(StationRole::Backup, QStringLiteral("10.0.0.2:7001"), 7002, 1500,
                 QStringLiteral("共享 key")),
        Settings(StationRole::Main, QStringLiteral("192.168.10.6:65535"), 0, 300, QString()),
        // The ends of the range Config.ini accepts survive the spin boxes.
        Settings(StationRole::Main, QString(), 65535, 60000, QStringLiteral("k")),
    };
    for (const FailoverSettings& settings : cases) {
        SCOPED_TRACE(settings.peer.toStdString() + " " + std::to_string(settings.silenceMs));
        TFailoverForm form;
        form.loadSettings(settings);
        EXPECT_EQ(form.settings(), settings);
        EXPECT_TRUE(ErrorText(form).isEmpty());
    }

    // What Config.ini would give back trimmed is handed over trimmed.
    TFailoverForm form;
    form.loadSettings(FailoverSettings());
    Field<QComboBox>(form, "ComboRole")->setCurrentText(QStringLiteral("备机"));
    Field<QLineEdit>(form, "EditPeer")->setText(QStringLiteral(" 127.0.0.1:7001 "));
    Field<QLineEdit>(form, "EditKey")->setText(QStringLiteral(" shared "));
    EXPECT_EQ(Field<QLineEdit>(form, "EditKey")->echoMode(), QLineEdit::Password);
    const FailoverSettings chosen = form.settings();
    EXPECT_EQ(chosen.role, StationRole::Backup);
    EXPECT_EQ(chosen.peer, QStringLiteral("127.0.0.1:7001"));
    EXPECT_EQ(chosen.key, QStringLiteral("shared"));
}

TEST(FailoverForm, RefusesAValueTheStationCannotUseWithTheReason) {
    const struct {
        StationRole role;
        const char* peer;
        const char* reason;
    } bad[] = {
        {StationRole::Main, "localhost:7001", "IPv4"},
        {StationRole::Main, "127.0.0.1", "IPv4"},
        {StationRole::Backup, "127.0.0.1:0", "IPv4"},
        {StationRole::Backup, "127.0.0.1:70001", "IPv4"},
        {StationRole::Backup, "300.0.0.1:7001", "IPv4"},
        // Well formed, but no other station can be there.
        {StationRole::Backup, "0.0.0.0:7001", "另一台字幕机"},
        {StationRole::Backup, "255.255.255.255:7001", "另一台字幕机"},
        {StationRole::Main, "239.1.2.3:7001", "另一台字幕机"},
        // A backup follows someone.
        {StationRole::Backup, "", "备机需要主机的地址"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.peer);
        TFailoverForm form;
        form.loadSettings(Settings(c.role, QString::fromUtf8(c.peer), 7002, 1000, QString()));
        form.accept();
        EXPECT_NE(form.result(), QDialog::Accepted);
        EXPECT_EQ(ErrorText(form), CheckFailoverSettings(form.settings()));
        EXPECT_TRUE(ErrorText(form).contains(QString::fromUtf8(c.reason)))
            << ErrorText(form).toStdString();
    }

    // Once the value is put right the same dialog closes.
    TFailoverForm form;
    form.loadSettings(Settings(StationRole::Backup, QString(), 0, 1000, QString()));
    form.accept();
    ASSERT_FALSE(ErrorText(form).isEmpty());
    Field<QLineEdit>(form, "EditPeer")->setText(QStringLiteral("127.0.0.1:7001"));
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

class FailoverOptionsTest : public StationFixture {
protected:
    // Config.ini with other sections around [Failover]. The stored pair is
    // not in use, so that the window starts alone.
    void WriteStoredConfig() {
        const QStringList lines{
            QStringLiteral("; 舞台字幕机"),
            QStringLiteral("[Remote]"),
            QStringLiteral("Pin=2468"),
            QStringLiteral("[Failover]"),
            QStringLiteral("Role=main"),
            QStringLiteral("Peer="),
            QStringLiteral("MirrorPort=0"),
            QStringLiteral("SilenceMs=1500"),
            QStringLiteral("Key=abc"),
            QStringLiteral("[舞台]"),
            QStringLiteral("备注=第二幕 ; 不是注释"),
        };
        QFile file(configPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(JoinLinesGbk(lines));
    }
};

TEST_F(FailoverOptionsTest, TheMenuEntrySavesTheSectionForTheNextStart) {
    WriteStoredConfig();
    TMainForm& w = Start();
    ASSERT_EQ(w.failover().phase(), Failover::Phase::Alone);
    const FailoverSettings stored = LoadFailoverSettings(configPath());
    const QStringList beside = LinesBesideFailover(configPath());
    ASSERT_TRUE(beside.contains(QStringLiteral("Pin=2468")));
    QAction* entry = find<QAction>(QStringLiteral("MenuFailoverOptions"));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(w.findChild<QMenu*>(QStringLiteral("MenuSettings"))->actions().contains(entry));

    // OK on what is stored changes nothing and promises nothing.
    answers().forms.push_back([&](QDialog& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("主备机"));
        EXPECT_EQ(Field<QComboBox>(form, "ComboRole")->currentText(), QStringLiteral("主机"));
        EXPECT_EQ(Field<QSpinBox>(form, "SpinSilence")->value(), 1500);
        EXPECT_EQ(Field<QLineEdit>(form, "EditKey")->text(), QStringLiteral("abc"));
        EXPECT_TRUE(ErrorText(form).isEmpty()) << "no command-line note without overrides";
        return int(QDialog::Accepted);
    });
    entry->trigger();
    EXPECT_EQ(LoadFailoverSettings(configPath()), stored);
    EXPECT_NE(w.statusText(2), kNextStart);

    // A refused value keeps the dialog open and the file as it was.
    answers().forms.push_back([](QDialog& form) {
        Field<QComboBox>(form, "ComboRole")->setCurrentText(QStringLiteral("备机"));
        Field<QLineEdit>(form, "EditPeer")->setText(QStringLiteral("主机:7001"));
        static_cast<TFailoverForm&>(form).accept();
        EXPECT_NE(form.result(), QDialog::Accepted);
        EXPECT_TRUE(ErrorText(form).contains(QStringLiteral("主机:7001")));
        return int(QDialog::Rejected);
    });
    entry->trigger();
    EXPECT_EQ(LoadFailoverSettings(configPath()), stored);

    const FailoverSettings chosen = Settings(StationRole::Backup, QStringLiteral("127.0.0.1:7001"),
                                             7002, 2500, QStringLiteral("shared"));
    answers().forms.push_back([](QDialog& form) {
        Field<QComboBox>(form, "ComboRole")->setCurrentText(QStringLiteral("备机"));
        Field<QLineEdit>(form, "EditPeer")->setText(QStringLiteral("127.0.0.1:7001"));
        Field<QSpinBox>(form, "SpinMirrorPort")->setValue(7002);
        Field<QSpinBox>(form, "SpinSilence")->setValue(2500);
        Field<QLineEdit>(form, "EditKey")->setText(QStringLiteral("shared"));
        static_cast<TFailoverForm&>(form).accept();
        EXPECT_EQ(form.result(), QDialog::Accepted);
        return form.result();
    });
    entry->trigger();
    EXPECT_EQ(LoadFailoverSettings(configPath()), chosen);
    EXPECT_EQ(LinesBesideFailover(configPath()), beside);
    EXPECT_EQ(w.statusText(2), kNextStart);
    // The running pair is left as it started: the window is not made a backup
    // under the operator's hands.
    EXPECT_EQ(w.failover().phase(), Failover::Phase::Alone);
    EXPECT_TRUE(find<QWidget>(QStringLiteral("centralwidget"))->isEnabled());

    // The station's own Config.ini writing at the close keeps the section.
    w.close();
    ASSERT_TRUE(w.hasClosed());
    EXPECT_EQ(LoadFailoverSettings(configPath()), chosen);
    EXPECT_EQ(answers().shown.filter(QStringLiteral("error:")), QStringList());
}

TEST_F(FailoverOptionsTest, TheCommandLineIsNamedAndTheStoredValuesAreShown) {
    WriteStoredConfig();
    // The stored port is overridden for this run: the dialog still edits what
    // Config.ini holds, so that OK does not store the override.
    FailoverSettings stored = LoadFailoverSettings(configPath());
    stored.mirrorPort = 7002;
    ASSERT_TRUE(SaveFailoverSettings(configPath(), stored).ok);
    StationOptions options = Options();
    options.failover.mirrorPort = 0;
    TMainForm& w = Start(options);
    ASSERT_EQ(w.failover().phase(), Failover::Phase::Alone);

    answers().forms.push_back([](QDialog& form) {
        EXPECT_EQ(ErrorText(form), kOverrideNote);
        EXPECT_EQ(Field<QSpinBox>(form, "SpinMirrorPort")->value(), 7002);
        return int(QDialog::Accepted);
    });
    find<QAction>(QStringLiteral("MenuFailoverOptions"))->trigger();
    EXPECT_EQ(LoadFailoverSettings(configPath()), stored);
    EXPECT_NE(w.statusText(2), kNextStart);
}

TEST_F(FailoverOptionsTest, AFailedSaveIsShownAndPromisesNothing) {
    TMainForm& w = Start();
    // Config.ini cannot be written while a directory stands in its place.
    QFile::remove(configPath());
    ASSERT_TRUE(QDir().mkpath(configPath()));
    answers().forms.push_back([](QDialog& form) {
        Field<QSpinBox>(form, "SpinMirrorPort")->setValue(7002);
        return int(QDialog::Accepted);
    });
    find<QAction>(QStringLiteral("MenuFailoverOptions"))->trigger();
    EXPECT_EQ(answers().shown.filter(QStringLiteral("error:")).size(), 1)
        << answers().shown.join(u'\n').toStdString();
    EXPECT_NE(w.statusText(2), kNextStart);
    ASSERT_TRUE(QDir(configPath()).removeRecursively());
}
