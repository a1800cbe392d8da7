# Cross build of the Windows x86-64 executable with Debian's mingw-w64 (posix thread model, for
# std::thread). TARNWICK_WIN_DEPS names the prefix the project's dependency script filled
# (scripts/windows/deps.sh); CMake finds libraries and headers only there and in the sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
if(DEFINED ENV{TARNWICK_WIN_DEPS})
  set(TARNWICK_WIN_DEPS $ENV{TARNWICK_WIN_DEPS} CACHE PATH "Prefix of the Windows dependencies")
endif()
if(TARNWICK_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TARNWICK_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
