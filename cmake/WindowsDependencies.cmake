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

add_library(fmt::fmt-header-only INTERFACE IMPORTED)
target_include_directories(fmt::fmt-header-only INTERFACE "${_headers}")
target_compile_definitions(fmt::fmt-header-only INTERFACE FMT_HEADER_ONLY=1)
add_library(fmt::fmt INTERFACE IMPORTED)
target_link_libraries(fmt::fmt INTERFACE fmt::fmt-header-only)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE "${_headers}")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE "${_headers}")

if(TESSALY_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  # Newer GoogleTest sources name their targets GTest::... themselves.
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()

# The Windows tests run under Wine: CTest finds and runs them through
# wine-run.sh (Wine's own prefix in the build folder); building never runs
# them, so a build needs no Wine.
if(TESSALY_BUILD_TESTS)
  # Wine's 64-bit loader: our programs are all 64-bit, and some machines
  # cannot run the 32-bit one.
  find_program(TESSALY_WINE NAMES wine64 PATHS /usr/lib/wine)
  if(TESSALY_WINE)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                       WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  endif()
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
