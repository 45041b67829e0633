# One warning set for every target of the project.
add_library(ostrand_warnings INTERFACE)
target_compile_options(ostrand_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-align -Wnull-dereference -Wdouble-promotion -Wformat=2
  $<$<BOOL:${OSTRAND_WERROR}>:-Werror>)

# g++ 12 at -O3 reports overlapping copies inside the standard library's own
# std::string concatenation ("'" + name + "'"), which cannot overlap. The
# warning would fail an optimised -Werror build for code that is correct,
# so it is off for that compiler only.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(ostrand_warnings INTERFACE -Wno-restrict)
endif()

# Sanitizer instrumentation hides initialisations from g++'s flow analysis,
# which then reports uninitialised uses inside the standard library (std::regex,
# std::function) that cannot happen. The warning stays on in normal builds.
if(OSTRAND_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(ostrand_warnings INTERFACE -Wno-maybe-uninitialized)
endif()
