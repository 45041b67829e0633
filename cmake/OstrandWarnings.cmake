# One warning set for every target of the project.
add_library(ostrand_warnings INTERFACE)
target_compile_options(ostrand_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-align -Wnull-dereference -Wdouble-promotion -Wformat=2
  $<$<BOOL:${OSTRAND_WERROR}>:-Werror>)
