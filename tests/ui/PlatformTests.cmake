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

# The show keys on a private Xvfb display, pressed and clicked through XTEST,
# against a simulated card on loopback.
station_add_test(NAME ui_xserver_show_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ShowOnXServerTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/StationFixture.h
        ${CMAKE_CURRENT_LIST_DIR}/XTestClient.h
        ${CMAKE_CURRENT_LIST_DIR}/PlatformTestSupport.h
    LIBS station_ui station_cardsim station_test_support PkgConfig::STATION_XCB
         PkgConfig::STATION_XCB_XTEST Qt6::Test
    WIDGETS
    TIMEOUT 400)
target_include_directories(ui_xserver_show_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/link)
