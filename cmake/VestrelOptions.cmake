# Compiler flags shared by every target: warnings as errors, sanitizers for the native build,
# a static runtime for the Windows build.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Werror)
# GCC 12 reports false -Wrestrict overlaps inside std::string at -O2 and above (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
endif()

if(WIN32)
    # Windows XP-era APIs are enough, but WSAPoll and friends need Vista.
    add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
    add_link_options(-static -static-libgcc -static-libstdc++)
else()
    if(VESTREL_SANITIZE AND VESTREL_TSAN)
        message(FATAL_ERROR "VESTREL_SANITIZE and VESTREL_TSAN cannot be combined")
    endif()
    if(VESTREL_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
        add_link_options(-fsanitize=address,undefined)
    endif()
    if(VESTREL_TSAN)
        add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
        add_link_options(-fsanitize=thread)
    endif()
endif()
