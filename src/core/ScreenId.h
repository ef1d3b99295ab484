#pragma once

#include <QChar>
#include <QString>
#include <array>

// The three screens: horizontal h = 1, vertical s = 2, small x = 3. Settings
// keys carry the number, control and file names the letter; on the wire the
// screen index is the number minus one.
enum class ScreenId { h = 1, s = 2, x = 3 };

inline constexpr std::array<ScreenId, 3> kAllScreens{ScreenId::h, ScreenId::s, ScreenId::x};

constexpr int ScreenNumber(ScreenId id) {
    return static_cast<int>(id);
}
constexpr int ScreenIndex(ScreenId id) {
    return static_cast<int>(id) - 1;
}
constexpr ScreenId ScreenFromIndex(int index) {
    return static_cast<ScreenId>(index + 1);
}
constexpr char ScreenLetter(ScreenId id) {
    return id == ScreenId::h ? 'h' : id == ScreenId::s ? 's' : 'x';
}
// "横屏", "纵屏", "小屏": how the station names a screen to the operator.
inline QString ScreenName(ScreenId id) {
    return id == ScreenId::h   ? QStringLiteral("横屏")
           : id == ScreenId::s ? QStringLiteral("纵屏")
                               : QStringLiteral("小屏");
}
