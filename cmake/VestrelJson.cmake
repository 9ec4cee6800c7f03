# The JSON library (Debian's nlohmann-json3-dev, header-only) as the target vestrel_json. Its header
# lives in /usr/include beside the Linux C library's, which the MinGW build must never see: that build
# gets a folder of its own that holds only the library's headers.
find_path(VESTREL_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
    NO_DEFAULT_PATH)
if(NOT VESTREL_NLOHMANN_JSON_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (script/bootstrap does)")
endif()
set(vestrel_json_include ${CMAKE_BINARY_DIR}/third-party/include)
file(MAKE_DIRECTORY ${vestrel_json_include})
if(NOT EXISTS ${vestrel_json_include}/nlohmann)
    file(CREATE_LINK ${VESTREL_NLOHMANN_JSON_DIR}/nlohmann ${vestrel_json_include}/nlohmann SYMBOLIC)
endif()
add_library(vestrel_json INTERFACE)
target_include_directories(vestrel_json SYSTEM INTERFACE ${vestrel_json_include})
# Peers' bytes never raise: every parse is made with exceptions off and checked.
target_compile_definitions(vestrel_json INTERFACE JSON_USE_IMPLICIT_CONVERSIONS=0)
