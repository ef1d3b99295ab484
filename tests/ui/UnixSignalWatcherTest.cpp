#include "ui/UnixSignalWatcher.h"

#include "PlatformTestSupport.h"

#include <QSignalSpy>

#include <csignal>

#include <gtest/gtest.h>

namespace {

volatile sig_atomic_t g_previousHandlerCalls = 0;
void PreviousHandler(int) {
    g_previousHandlerCalls = g_previousHandlerCalls + 1;
}

// Installs a plain handler for the test's signals so that a watcher that
// failed to take over (or to give back) never lets a signal end the test run.
class SignalWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_previousHandlerCalls = 0;
        for (const int signalNumber : {SIGTERM, SIGINT, SIGUSR1}) {
            struct sigaction action {};
            action.sa_handler = PreviousHandler;
            sigemptyset(&action.sa_mask);
            struct sigaction saved {};
            ASSERT_EQ(::sigaction(signalNumber, &action, &saved), 0);
            m_saved.push_back({signalNumber, saved});
        }
    }
    void TearDown() override {
        for (const auto& [signalNumber, saved] : m_saved) {
            ::sigaction(signalNumber, &saved, nullptr);
        }
    }

private:
    std::vector<std::pair<int, struct sigaction>> m_saved;
};

} // namespace

TEST_F(SignalWatcherTest, TermAndIntArriveAsQtSignalsOnTheEventLoop) {
    UnixSignalWatcher watcher{SIGTERM, SIGINT};
    QSignalSpy spy(&watcher, &UnixSignalWatcher::received);

    ASSERT_EQ(::raise(SIGTERM), 0);
    // Not delivered inside the handler: only the event loop brings it.
    EXPECT_EQ(spy.count(), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return spy.count() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);

    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return spy.count() == 3; }));
    EXPECT_EQ(spy.at(1).at(0).toInt(), SIGINT);
    EXPECT_EQ(spy.at(2).at(0).toInt(), SIGTERM);
    EXPECT_EQ(g_previousHandlerCalls, 0) << "the watcher replaced the handlers";
}

TEST_F(SignalWatcherTest, OnlyTheListedSignalsAreTaken) {
    UnixSignalWatcher watcher{SIGTERM};
    QSignalSpy spy(&watcher, &UnixSignalWatcher::received);
    ASSERT_EQ(::raise(SIGUSR1), 0);
    EXPECT_EQ(g_previousHandlerCalls, 1);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return spy.count() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
}

TEST_F(SignalWatcherTest, DestructionRestoresThePreviousHandlers) {
    { UnixSignalWatcher watcher{SIGTERM, SIGINT}; }
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_EQ(g_previousHandlerCalls, 2);

    // And a new watcher may be made once the first is gone.
    UnixSignalWatcher again{SIGTERM};
    QSignalSpy spy(&again, &UnixSignalWatcher::received);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return spy.count() == 1; }));
}

TEST_F(SignalWatcherTest, ReceiverMayDestroyTheWatcher) {
    // A close command that tears the window down, watcher included, while
    // two signals are waiting to be emitted.
    auto* watcher = new UnixSignalWatcher{SIGTERM, SIGINT};
    int calls = 0;
    QObject::connect(watcher, &UnixSignalWatcher::received, [&](int) {
        ++calls;
        delete watcher;
    });
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return calls > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}

TEST(SignalWatcherDeathTest, SecondWatcherIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            UnixSignalWatcher first{SIGUSR1};
            UnixSignalWatcher second{SIGUSR2};
        },
        "only one watcher");
}
