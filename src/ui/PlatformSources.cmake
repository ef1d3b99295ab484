# Platform services of the main window: the system-wide F4 key (an X11 key
# grab through Qt's own xcb connection) and the Unix signals that close it.
list(APPEND STATION_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/GlobalHotKey.cpp ${CMAKE_CURRENT_LIST_DIR}/GlobalHotKey.h
    ${CMAKE_CURRENT_LIST_DIR}/UnixSignalWatcher.cpp ${CMAKE_CURRENT_LIST_DIR}/UnixSignalWatcher.h
)

find_package(PkgConfig REQUIRED)
# GLOBAL so that the tests of the key grab can drive the X server with the
# same library.
pkg_check_modules(STATION_XCB REQUIRED IMPORTED_TARGET GLOBAL xcb)
list(APPEND STATION_UI_PLATFORM_LIBS PkgConfig::STATION_XCB)
