#pragma once

#include "ui/DialogAnswers.h"
#include "ui/MainForm.h"
#include "ui/StationOptions.h"

#include "core/Settings.h"
#include "core/TextFiles.h"
#include "link/LinkConfig.h"
#include "support/TempDir.h"

#include <QDialog>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Every main-window test starts here: its own station home and desktop
// folder, every operator dialog answered from a script (a dialog the test did
// not expect fails it), and the link on loopback with a port offset no other
// test uses.
class StationFixture : public ::testing::Test {
protected:
    void SetUp() override {
        DialogAnswers::instance().reset();
        DialogAnswers::instance().setScripted(true);
        const std::optional<int> offset = ProbeFreePortOffset();
        ASSERT_TRUE(offset.has_value());
        m_portOffset = *offset;
        ASSERT_TRUE(QDir().mkpath(m_home.file(QStringLiteral("Desktop"))));
    }

    void TearDown() override {
        if (m_window && !m_window->hasClosed()) {
            // Whatever the test left open must not ask anything on the way out.
            m_window->close();
        }
        m_window.reset();
        EXPECT_EQ(DialogAnswers::instance().unanswered, QStringList())
            << "dialogs the test did not answer";
        DialogAnswers::instance().setScripted(false);
        DialogAnswers::instance().reset();
    }

    QString home() const { return m_home.path(); }
    QString file(const QString& name) const { return m_home.file(name); }
    QString configPath() const { return m_home.file(QStringLiteral("Config.ini")); }
    int portOffset() const { return m_portOffset; }

    // Writes a script file in GBK with CR LF line ends, as the station's own
    // files are.
    QString WriteLines(const QString& name, const QStringList& lines) const {
        return m_home.write(name, JoinLinesGbk(lines));
    }

    // A stored configuration: the screens, the card lists and the play options.
    void WriteConfig(const SettingsStore& store) const {
        ASSERT_TRUE(SaveConfig(store, configPath()).ok);
    }
    SettingsStore ReadConfig() const {
        SettingsStore store;
        LoadConfig(store, configPath());
        return store;
    }

    StationOptions Options() const {
        StationOptions options;
        options.home = m_home.path();
        options.desktopDir = m_home.file(QStringLiteral("Desktop"));
        options.link = LinkConfig::Loopback(m_portOffset);
        return options;
    }

    // Creates and shows the main window (its first showing reads Config.ini).
    TMainForm& Start() { return Start(Options()); }
    TMainForm& Start(const StationOptions& options) {
        m_window = std::make_unique<TMainForm>(options);
        m_window->openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return true;
        };
        m_window->show();
        // Shortcuts (F5, F6) reach only the active window, as on a desktop.
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        return *m_window;
    }
    TMainForm& window() { return *m_window; }
    // The window ends without its close sequence, as a killed station does:
    // nothing is saved and no clean end is marked (what the journal holds
    // by then is on the disk).
    void Abandon() {
        ASSERT_TRUE(m_window->showSession().WaitWritten(std::chrono::seconds(10)));
        m_window.reset();
    }

    template <typename T> T* find(const QString& name) {
        T* found = m_window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    static DialogAnswers& answers() { return DialogAnswers::instance(); }

    QList<QUrl> openedUrls;

private:
    TempDir m_home;
    int m_portOffset = 0;
    std::unique_ptr<TMainForm> m_window;
};
