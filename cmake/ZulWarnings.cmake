# Strict warnings for everything we compile; errors where ZUL_CV_WERROR is on (CI).
add_library(zul_warnings INTERFACE)
target_compile_options(zul_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wdouble-promotion -Wold-style-cast -Wcast-align -Wcast-qual
  -Wnon-virtual-dtor -Wundef -Wnull-dereference -Wimplicit-fallthrough
  $<$<BOOL:${ZUL_CV_WERROR}>:-Werror>)
