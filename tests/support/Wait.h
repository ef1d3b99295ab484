#pragma once

#include "PrintQString.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTest>

#include <ostream>

// Waiting for the event loop inside a GoogleTest test. Qt's QTRY_* macros are
// not used: outside a Qt Test run their failure returns from the test function
// without failing the test, so a wait that never came true passed silently.

// Lets events run until `condition` holds or `ms` have passed; true when it
// holds.
template <typename Condition> [[nodiscard]] bool WaitUntil(Condition condition, int ms = 10000) {
    return QTest::qWaitFor(condition, ms);
}

// Fails (and ends) the test when `condition` has not come true within `ms`.
#define ASSERT_EVENTUALLY(condition, ms)                                                           \
    ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(condition); }, (ms)))                     \
        << "still false after " << (ms) << " ms: " #condition

// Fails (and ends) the test when `actual` has not become equal to `expected`
// within `ms`, printing both as they were at the end.
#define ASSERT_EVENTUALLY_EQ(actual, expected, ms)                                                 \
    do {                                                                                           \
        (void)WaitUntil([&] { return (actual) == (expected); }, (ms));                             \
        ASSERT_EQ(actual, expected) << "after " << (ms) << " ms";                                  \
    } while (0)

// The non-fatal forms, for helpers that return a value.
#define EXPECT_EVENTUALLY(condition, ms)                                                           \
    EXPECT_TRUE(WaitUntil([&] { return static_cast<bool>(condition); }, (ms)))                     \
        << "still false after " << (ms) << " ms: " #condition
