# The libraries a Windows cross-build uses, from Debian's own packages: the
# header-only ones straight from their headers (copied into the build, so
# that no other host header can reach the Windows compiler), GoogleTest
# compiled from its sources.
set(_headers "${CMAKE_BINARY_DIR}/windows-headers")
foreach(dir fmt nlohmann CLI)
  if(NOT EXISTS "${_headers}/${dir}")
    file(COPY "/usr/include/${dir}" DESTINATION "${_headers}")
  endif()
endforeach()

add_library(fmt::fmt INTERFACE IMPORTED)
target_include_directories(fmt::fmt INTERFACE "${_headers}")
target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE "${_headers}")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE "${_headers}")

if(TESSALY_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endif()

# Test programs run under Wine, in a prefix of the build's own (never
# ~/.wine), also while CTest asks them for their tests.
find_program(TESSALY_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TESSALY_WINE)
  find_program(TESSALY_WINE NAMES wine64 wine)
endif()
if(TESSALY_WINE)
  set(TESSALY_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run.sh" @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
endif()
