# ostrand_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable; every TEST in it becomes a CTest case.
function(ostrand_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ostrand_test_support GTest::gtest GTest::gmock GTest::gtest_main ostrand_warnings)
  # Discovered tests take one label only (a second would be read as the
  # next property's name); a test of two groups carries both words in one
  # label, such as torture-concurrency, which ctest -L matches with either.
  list(LENGTH ARG_LABELS label_count)
  if(label_count GREATER 1)
    message(FATAL_ERROR "${name}: one label only (join words with -)")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${ARG_LABELS}"
    DISCOVERY_TIMEOUT 60)
  # ostrand_tests_LABEL builds the executables of one label only, so the
  # sanitizer builds of ./dev tsan and ./dev torture compile what they run.
  string(REPLACE "-" ";" label_words "${ARG_LABELS}")
  foreach(label IN LISTS label_words)
    if(NOT TARGET ostrand_tests_${label})
      add_custom_target(ostrand_tests_${label})
    endif()
    add_dependencies(ostrand_tests_${label} ${name})
  endforeach()
endfunction()
