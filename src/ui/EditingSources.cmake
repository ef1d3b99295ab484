# The editing page's dialogs: one line, the whole script, a new subtitle file.
list(APPEND STATION_UI_SOURCES
    CaptionForm.cpp CaptionForm.h CaptionForm.ui
    EditForm.cpp EditForm.h EditForm.ui
    EditingDialogs.cpp EditingDialogs.h
    NewFileForm.cpp NewFileForm.h NewFileForm.ui
)
