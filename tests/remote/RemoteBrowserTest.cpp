// The web remote in a real browser at a phone's size: the PIN, a tap on
// "next", the card and the page following it.
#include "HeadlessChromium.h"
#include "RemoteStationFixture.h"

#include "ui/LineListView.h"

#include <QElapsedTimer>

class RemoteBrowserTest : public RemoteStationFixture {
protected:
    // Screenshots for a person to look at, when STATION_REMOTE_SCREENSHOTS names a folder.
    void Keep(HeadlessChromium& browser, const QString& name) {
        const QString dir = qEnvironmentVariable("STATION_REMOTE_SCREENSHOTS");
        if (dir.isEmpty()) {
            return;
        }
        QDir().mkpath(dir);
        QFile file(QDir(dir).filePath(name + QStringLiteral(".png")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(browser.Screenshot());
    }
    QString Text(HeadlessChromium& browser, const char* id) {
        return browser
            .Evaluate(
                QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id)))
            .toString();
    }
    // What the page shows, for a failure's message.
    std::string Describe(HeadlessChromium& browser) {
        return browser
            .Evaluate(
                QStringLiteral("JSON.stringify({pin: document.getElementById('pin').value,"
                               " error: document.getElementById('pin-error').textContent,"
                               " link: document.getElementById('link-text').textContent,"
                               " form: !document.getElementById('pin-form').hidden,"
                               " show: !document.getElementById('show').hidden,"
                               " current: document.getElementById('current').textContent,"
                               " focus: document.activeElement && document.activeElement.id})"))
            .toString()
            .toStdString();
    }
    bool Shown(HeadlessChromium& browser, const char* id) {
        return browser
            .Evaluate(
                QStringLiteral("!document.getElementById('%1').hidden").arg(QLatin1String(id)))
            .toBool();
    }
};

TEST_F(RemoteBrowserTest, APhoneSignsInWithThePinAndTapsNext) {
    if (HeadlessChromium::Executable().isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it): the "
                        "web remote was not tried in a browser";
    }
    TMainForm& w = Start(RemoteOptions());
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    QTest::keyClick(find<LineListView>(QStringLiteral("ListView1")), Qt::Key_Return);
    ASSERT_TRUE(CardShowsLine(w, 1));

    HeadlessChromium browser;
    const QString started = browser.Start();
    ASSERT_TRUE(started.isEmpty()) << started.toStdString();
    ASSERT_TRUE(browser.Navigate(QStringLiteral("http://127.0.0.1:%1/").arg(w.remote().webPort())));
    ASSERT_TRUE(WaitUntil([&] { return Shown(browser, "pin-form"); }, 20000));
    Keep(browser, QStringLiteral("1-pin"));

    // A wrong PIN is refused and the remote stays closed.
    ASSERT_TRUE(browser.Tap(QStringLiteral("#pin")));
    ASSERT_TRUE(browser.Type(QStringLiteral("1111")));
    ASSERT_TRUE(browser.Tap(QStringLiteral("#pin-submit")));
    ASSERT_TRUE(WaitUntil([&] { return !Text(browser, "pin-error").isEmpty(); }))
        << Describe(browser)
        << " wrong PINs seen: " << w.remote().monitor().count(RemoteMonitor::Kind::WebWrongPin)
        << " connections: " << w.remote().web().connections()
        << " timeouts: " << w.remote().monitor().count(RemoteMonitor::Kind::HttpTimeout);
    EXPECT_FALSE(Shown(browser, "show"));
    EXPECT_EQ(w.remote().monitor().count(RemoteMonitor::Kind::WebWrongPin), 1);
    Keep(browser, QStringLiteral("2-wrong-pin"));

    ASSERT_TRUE(browser.Tap(QStringLiteral("#pin")));
    ASSERT_TRUE(browser.Type(QStringLiteral("2468")));
    ASSERT_TRUE(browser.Tap(QStringLiteral("#pin-submit")));
    ASSERT_TRUE(WaitUntil([&] { return Shown(browser, "show"); })) << Describe(browser);
    ASSERT_TRUE(WaitUntil([&] { return Text(browser, "current") == QStringLiteral("第一句"); }));
    EXPECT_EQ(Text(browser, "next"), QStringLiteral("第二句"));
    Keep(browser, QStringLiteral("3-line-1"));

    QElapsedTimer tap;
    tap.start();
    ASSERT_TRUE(browser.Tap(QStringLiteral("#step")));
    ASSERT_TRUE(WaitUntil([&] { return Text(browser, "current") == QStringLiteral("第二句"); }));
    // How long a tap takes to come back to the phone (reported, not judged).
    RecordProperty("tap_to_page_ms", static_cast<int>(tap.elapsed()));
    EXPECT_TRUE(CardShowsLine(w, 2));
    EXPECT_EQ(Text(browser, "next"), QStringLiteral("第三句"));

    // A line in the list is one tap away.
    ASSERT_TRUE(browser.Tap(QStringLiteral("#lines li[data-line=\"5\"]")));
    EXPECT_TRUE(CardShowsLine(w, 5));
    ASSERT_TRUE(WaitUntil([&] { return Text(browser, "current") == QStringLiteral("第五句"); }));
    Keep(browser, QStringLiteral("4-line-5"));
}
