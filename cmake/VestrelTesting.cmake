# GoogleTest from Debian's sources, built with the project's own compiler (native or MinGW),
# and vestrel_add_test(), which registers one test executable as one CTest entry so that a
# Windows test binary runs as a single Wine process.
set(VESTREL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# GoogleTest's own code is not held to our warning flags.
set(_vestrel_saved_options "${CMAKE_CXX_FLAGS}")
add_subdirectory(${VESTREL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
    if(TARGET ${target})
        target_compile_options(${target} PRIVATE -w -Wno-error)
    endif()
endforeach()

set(VESTREL_TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${VESTREL_TEST_RESULTS_DIR})

# vestrel_add_test(<name> SOURCES <files...> LIBRARIES <targets...> [LABELS <labels...>] [NEEDS_DISPLAY])
function(vestrel_add_test name)
    cmake_parse_arguments(ARG "NEEDS_DISPLAY" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
    set(report ${VESTREL_TEST_RESULTS_DIR}/${name}.xml)
    if(WIN32)
        # Under Wine the Unix root is drive Z:.
        set(report Z:${report})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
    set(labels ${ARG_LABELS})
    if(WIN32)
        list(APPEND labels wine)
    else()
        list(APPEND labels native)
    endif()
    if(ARG_NEEDS_DISPLAY)
        list(APPEND labels display)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 900
        ENVIRONMENT "VESTREL_SOURCE_DIR=${PROJECT_SOURCE_DIR};VESTREL_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# vestrel_add_fixture(<name> <script> <state dir> [ARGS <start arguments...>] [TIMEOUT <seconds>])
# Peers on loopback around the tests, as a CTest fixture: <name>_start runs
# `bash <script> start <state dir> <source dir> ARGS`, <name>_stop `bash <script> stop <state dir>`
# (each within TIMEOUT seconds, 60 unless given).
function(vestrel_add_fixture name script state)
    cmake_parse_arguments(ARG "" "TIMEOUT" "ARGS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 60)
    endif()
    if(WIN32)
        set(label wine)
    else()
        set(label native)
    endif()
    add_test(NAME ${name}_start COMMAND bash ${script} start ${state} ${PROJECT_SOURCE_DIR} ${ARG_ARGS})
    add_test(NAME ${name}_stop COMMAND bash ${script} stop ${state})
    set_tests_properties(${name}_start PROPERTIES FIXTURES_SETUP ${name} LABELS ${label} TIMEOUT ${ARG_TIMEOUT})
    set_tests_properties(${name}_stop PROPERTIES FIXTURES_CLEANUP ${name} LABELS ${label} TIMEOUT ${ARG_TIMEOUT})
endfunction()

# vestrel_require_fixture(<test> <fixture> <VARIABLE=value>): runs <test> with the fixture's peers up
# and tells it where the fixture wrote what it started.
function(vestrel_require_fixture test fixture environment)
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED ${fixture})
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "${environment}")
endfunction()
