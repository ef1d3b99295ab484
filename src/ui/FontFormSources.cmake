# The text effect dialog.
list(APPEND STATION_UI_SOURCES
    FontForm.cpp FontForm.h FontForm.ui
)
