# Development builds read a few environment overrides (services base address, CA bundle,
# drive table, fake OS facts, automation script). Release builds do not compile that code in:
# an installer that runs as administrator must not take its download address from the environment.
# Default: on for development build types, off for Release and MinSizeRel, where turning it on
# is refused.
set(_release_types Release MinSizeRel)
if(CMAKE_BUILD_TYPE IN_LIST _release_types)
  set(_dev_overrides_default OFF)
else()
  set(_dev_overrides_default ON)
endif()
option(TARNWICK_DEV_OVERRIDES "Compile in the development environment overrides" ${_dev_overrides_default})
if(TARNWICK_DEV_OVERRIDES AND CMAKE_BUILD_TYPE IN_LIST _release_types)
  message(FATAL_ERROR "TARNWICK_DEV_OVERRIDES is for development builds; a ${CMAKE_BUILD_TYPE} build must not "
                      "read its services address from the environment")
endif()
# Release builds are what users download, so they are built small: every function and datum in a
# section of its own, and the linker drops the sections nothing refers to (in the static C++
# library and libcurl of the Windows build too). Windows optimises for size: the program waits on
# the network and the system's HTTP stack, and the file it ships is the figure that counts; Linux
# keeps -O2 (its download loop is measured against the curl program).
if(CMAKE_BUILD_TYPE IN_LIST _release_types)
  if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(_release_optimisation -Os)
  else()
    set(_release_optimisation -O2)
  endif()
  foreach(_language C CXX)
    string(REGEX REPLACE "(^| )-O[0-9s]( |$)" "\\1${_release_optimisation}\\2" CMAKE_${_language}_FLAGS_RELEASE
           "${CMAKE_${_language}_FLAGS_RELEASE}")
  endforeach()
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(LINKER:--gc-sections)
endif()
set(TARNWICK_DEPLOYMENT "standin" CACHE STRING "Deployment file under deployment/ (without .cpp)")
option(TARNWICK_BUILD_TESTS "Build the tests" ON)
# The benchmarks stand on Google Benchmark, a Linux package: the Windows build measures through its
# own scripts (see bench/).
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(_benchmarks_default OFF)
else()
  set(_benchmarks_default ON)
endif()
option(TARNWICK_BUILD_BENCHMARKS "Build the benchmarks" ${_benchmarks_default})
option(TARNWICK_BUILD_FUZZERS "Build the fuzz targets (needs clang)" OFF)

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# The platform implementations compiled in: every layer keeps them in a folder of this name.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TARNWICK_PLATFORM linux)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Cross-built with mingw-w64 (cmake/toolchains/mingw-w64-x86_64.cmake), run under Wine here.
  set(TARNWICK_PLATFORM win)
else()
  message(FATAL_ERROR "No platform layer for ${CMAKE_SYSTEM_NAME} yet")
endif()

# Sanitizers for the whole build. TARNWICK_SANITIZE=ON (or "address") builds with AddressSanitizer
# + UndefinedBehaviorSanitizer, the build CI runs the whole suite under; "thread" builds with
# ThreadSanitizer (CI runs the thread-heavy suites under it, with the library suppressions in
# tests/tsan.supp). The two cannot share a build.
set(TARNWICK_SANITIZE OFF CACHE STRING "Sanitizer build: OFF, ON/address (ASan + UBSan) or thread (TSan)")
set_property(CACHE TARNWICK_SANITIZE PROPERTY STRINGS OFF ON address thread)
string(TOLOWER "${TARNWICK_SANITIZE}" _sanitize)
if(_sanitize STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(_sanitize MATCHES "^(address|on|yes|true|y|1)$")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TARNWICK_SANITIZE)
  message(FATAL_ERROR "TARNWICK_SANITIZE=${TARNWICK_SANITIZE}: use OFF, ON, address or thread")
endif()
