# qb_library(NAME SOURCES... [DEPS ...]) — one static library per folder,
# included as <folder>/header.h from the project root.
function(qb_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# qb_test(NAME SOURCES... [DEPS ...]) — a GoogleTest program registered
# with CTest; tests find the project root and shared/ through definitions.
function(qb_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qb_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QB_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# qb_fuzzer(NAME SOURCE DEPS...) — a libFuzzer target under QB_FUZZ; otherwise
# the same entry point is linked with a small driver that replays files, so
# the regression corpus runs as an ordinary test.
function(qb_fuzzer name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  if(QB_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  endif()
endfunction()
