# The text effect dialog on the offscreen platform.
station_add_test(NAME ui_font_form_tests
    SOURCES FontFormTest.cpp
    LIBS station_ui station_test_support Qt6::Test
    WIDGETS
    LABELS asan)
