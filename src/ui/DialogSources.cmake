# The stand-alone dialogs (two-row text, about box), the help file lookup and
# the operator's manual that travels beside the station.
list(APPEND STATION_UI_SOURCES
    AboutForm.cpp AboutForm.h AboutForm.ui
    HelpFile.cpp HelpFile.h
    OfflineForm.cpp OfflineForm.h OfflineForm.ui
    ParamForm.cpp ParamForm.h ParamForm.ui
    TempForm.cpp TempForm.h TempForm.ui
)

# The help command looks for the manual beside the executable, so every build
# puts a fresh copy there; DEPENDS makes an edited manual copy again.
set(STATION_HELP_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/help/舞台字幕机使用说明.html)
set(STATION_HELP_OUTPUT ${CMAKE_BINARY_DIR}/src/app/舞台字幕机使用说明.html)
add_custom_command(
    OUTPUT ${STATION_HELP_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/src/app
    COMMAND ${CMAKE_COMMAND} -E copy ${STATION_HELP_SOURCE} ${STATION_HELP_OUTPUT}
    DEPENDS ${STATION_HELP_SOURCE}
    COMMENT "Copying the operator's manual beside the station"
    VERBATIM)
add_custom_target(station_help ALL DEPENDS ${STATION_HELP_OUTPUT})
