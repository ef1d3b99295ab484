# Helpers shared by every subsystem folder.

# Adds one subdirectory for each name that exists, so subsystem folders can
# arrive one at a time without touching the parent list.
function(station_add_existing_subdirectories)
    foreach(dir IN LISTS ARGN)
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            add_subdirectory(${dir})
        endif()
    endforeach()
endfunction()

# station_add_test(NAME <name> SOURCES <files...> LIBS <targets...>
#                  [GUI | WIDGETS] [LABELS <labels...>] [TIMEOUT <seconds>])
# GUI tests get a QGuiApplication on the offscreen platform, WIDGETS tests a
# QApplication (offscreen too); the others a QCoreApplication. Labels "asan" and "tsan" select the tests that the sanitizer
# passes of the test script run.
function(station_add_test)
    cmake_parse_arguments(T "GUI;WIDGETS" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_WIDGETS)
        target_link_libraries(${T_NAME} PRIVATE station_test_main_widgets)
    elseif(T_GUI)
        target_link_libraries(${T_NAME} PRIVATE station_test_main_gui)
    else()
        target_link_libraries(${T_NAME} PRIVATE station_test_main)
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    target_compile_definitions(${T_NAME} PRIVATE
        STATION_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
    if("asan" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY STATION_ASAN_TESTS ${T_NAME})
    endif()
endfunction()

# Every target defined in `dir` and the folders below it.
function(station_collect_targets dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        station_collect_targets(${sub} below)
        list(APPEND targets ${below})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# station_add_all_but_asan_tests(): the target station_all_but_asan_tests
# builds every program of the tree (the station, the tools, the benchmarks,
# the tests) except the test programs labelled "asan". The test script's
# plain pass builds this: those tests run in the AddressSanitizer tree, so the
# plain tree need not compile them a second time. Call it once, last.
function(station_add_all_but_asan_tests)
    station_collect_targets(${PROJECT_SOURCE_DIR} targets)
    get_property(asanTests GLOBAL PROPERTY STATION_ASAN_TESTS)
    set(wanted)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(excluded ${target} EXCLUDE_FROM_ALL)
        if(type STREQUAL "EXECUTABLE" AND NOT excluded AND NOT target IN_LIST asanTests)
            list(APPEND wanted ${target})
        endif()
    endforeach()
    add_custom_target(station_all_but_asan_tests)
    if(wanted)
        add_dependencies(station_all_but_asan_tests ${wanted})
    endif()
endfunction()

# station_add_benchmark(NAME <name> SOURCES <files...> LIBS <targets...>)
function(station_add_benchmark)
    cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
