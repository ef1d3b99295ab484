station_add_test(NAME ui_dialog_tests
    SOURCES TempFormTest.cpp AboutAndHelpTest.cpp ChineseTextsTest.cpp
    LIBS station_ui station_test_support Qt6::Test
    WIDGETS
    LABELS asan)
# The manual is checked where it is written, not the copy the build makes; the
# about box must show the version the project declares.
target_compile_definitions(ui_dialog_tests PRIVATE
    STATION_HELP_SOURCE_DIR="${PROJECT_SOURCE_DIR}/src/ui/help"
    STATION_VERSION="${PROJECT_VERSION}")
