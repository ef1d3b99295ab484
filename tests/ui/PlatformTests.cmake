# The window's platform services: the F4 key (offscreen, and on a private
# Xvfb display driven through XTEST) and the Unix signal watcher.
find_package(PkgConfig REQUIRED)
pkg_check_modules(STATION_XCB_XTEST REQUIRED IMPORTED_TARGET xcb-xtest)
station_add_test(NAME ui_platform_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/GlobalHotKeyTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UnixSignalWatcherTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PlatformTestSupport.h
    LIBS station_ui PkgConfig::STATION_XCB PkgConfig::STATION_XCB_XTEST Qt6::Test
    WIDGETS)
