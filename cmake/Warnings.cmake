# Warnings for the project's own targets: tarnwick_warnings(<target>).
add_library(tarnwick_warnings INTERFACE)
target_compile_options(tarnwick_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
function(tarnwick_warnings target)
  target_link_libraries(${target} PRIVATE tarnwick_warnings)
endfunction()
