# tessaly_add_gtest(NAME SOURCES src... LIBS lib...)
# One GoogleTest binary, registered with CTest test by test; its main
# (tests/support/test_main.cc) also runs the child bodies of crash tests. Fixtures and tools
# in ../shared are passed as a compile definition, never copied into the tree.
# CTest names a test as GoogleTest does, without the printed parameter (many
# parameters print as raw bytes, padding included, which would make the names
# differ from build to build).
function(tessaly_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tessaly_test_main GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TESSALY_SHARED_DIR="${TESSALY_SHARED_DIR}"
    TESSALY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TESSALY_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES PROPERTIES TIMEOUT 300)
endfunction()
