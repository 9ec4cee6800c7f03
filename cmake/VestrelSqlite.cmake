# The libraries the cleaner reads the browsers' files with: SQLite and nlohmann-json.
# Natively Debian's libsqlite3-dev; for the Windows build SQLite's amalgamation, made once per build tree
# from Debian's source package (script/lib/sqlite-amalgamation.sh) and linked statically.
if(WIN32)
    set(VESTREL_SQLITE_DIR ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
    if(NOT EXISTS ${VESTREL_SQLITE_DIR}/sqlite3.c)
        message(STATUS "Making SQLite's amalgamation from Debian's source package")
        execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/script/lib/sqlite-amalgamation.sh ${VESTREL_SQLITE_DIR}
                        RESULT_VARIABLE sqlite_result)
        if(NOT sqlite_result EQUAL 0)
            message(FATAL_ERROR "could not make SQLite's amalgamation (is the deb-src entry there? run script/bootstrap)")
        endif()
    endif()
    add_library(vestrel_sqlite STATIC ${VESTREL_SQLITE_DIR}/sqlite3.c)
    target_include_directories(vestrel_sqlite SYSTEM PUBLIC ${VESTREL_SQLITE_DIR})
    # The library's own code is not held to our warning flags.
    target_compile_options(vestrel_sqlite PRIVATE -w -Wno-error)
    target_compile_definitions(vestrel_sqlite PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
                                                      SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_WIN32_NO_ANSI=0)

    # nlohmann-json is headers only; the MinGW compiler gets its folder alone, never all of /usr/include.
    set(VESTREL_JSON_DIR ${CMAKE_BINARY_DIR}/json-include)
    file(MAKE_DIRECTORY ${VESTREL_JSON_DIR})
    if(NOT EXISTS ${VESTREL_JSON_DIR}/nlohmann)
        file(CREATE_LINK /usr/include/nlohmann ${VESTREL_JSON_DIR}/nlohmann SYMBOLIC)
    endif()
    add_library(vestrel_json INTERFACE)
    target_include_directories(vestrel_json SYSTEM INTERFACE ${VESTREL_JSON_DIR})
else()
    find_package(SQLite3 REQUIRED)
    add_library(vestrel_sqlite INTERFACE)
    target_link_libraries(vestrel_sqlite INTERFACE SQLite::SQLite3)
    find_package(nlohmann_json 3 REQUIRED)
    add_library(vestrel_json INTERFACE)
    target_link_libraries(vestrel_json INTERFACE nlohmann_json::nlohmann_json)
endif()
