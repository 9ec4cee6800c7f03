# SQLite, as the target vestrel_sqlite, for the cleaner's edits of the browsers' databases. Natively
# Debian's libsqlite3-dev; for the Windows build SQLite's amalgamation, made once per build tree from
# Debian's source package (script/lib/sqlite-amalgamation.sh) and linked statically.
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
                                                      SQLITE_DEFAULT_MEMSTATUS=0)
else()
    find_package(SQLite3 REQUIRED)
    add_library(vestrel_sqlite INTERFACE)
    target_link_libraries(vestrel_sqlite INTERFACE SQLite::SQLite3)
endif()
