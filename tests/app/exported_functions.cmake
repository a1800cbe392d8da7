# The installer's dynamic symbol table holds what the shared libraries need from it, never its own
# functions: exporting them all (--export-dynamic) adds about 100 KiB to the file. Fails with the
# exported functions named.
# Usage: cmake -DEXE=<installer> -DNM=<nm> -P exported_functions.cmake
execute_process(COMMAND ${NM} -D --defined-only ${EXE} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${EXE}")
endif()
# Strong text symbols: the program's own functions (templates of the C++ library come as weak ones).
string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" exported "${symbols}")
# The sanitizer build's hooks (__lsan_default_suppressions and the like) are looked up by the
# sanitizer runtime, a shared library: they must be exported.
list(FILTER exported EXCLUDE REGEX " T __(lsan|asan|ubsan)_")
list(LENGTH exported count)
if(count GREATER 0)
  list(SUBLIST exported 0 10 first)
  list(JOIN first "\n  " shown)
  message(FATAL_ERROR "${EXE} exports ${count} of its own functions, for example:\n  ${shown}")
endif()
