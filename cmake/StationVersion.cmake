# The project's version as a header (StationVersion.h) for every program that
# shows it; link station_version to get it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/StationVersion.h.in
               ${CMAKE_BINARY_DIR}/generated/StationVersion.h @ONLY)
add_library(station_version INTERFACE)
target_include_directories(station_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
