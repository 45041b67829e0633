# ostrand_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable; every TEST in it becomes a CTest case.
function(ostrand_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ostrand_test_support GTest::gtest GTest::gmock GTest::gtest_main ostrand_warnings)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${ARG_LABELS}"
    DISCOVERY_TIMEOUT 60)
endfunction()
