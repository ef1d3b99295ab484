#pragma once

#include <QTest>

// Lets events run until `condition` holds or `ms` have passed; true when it
// holds. Qt's QTRY_* macros are not used in these tests: outside a Qt Test
// run their failure returns from the test function without failing it.
template <typename Condition> [[nodiscard]] bool WaitUntil(Condition condition, int ms = 10000) {
    return QTest::qWaitFor(condition, ms);
}
