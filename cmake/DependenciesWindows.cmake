# The Windows build's dependencies, from the prefix scripts/windows/deps.sh filled
# (TARNWICK_WIN_DEPS, passed on by the toolchain file): static libcurl on Schannel, the 7-Zip C
# decoder, GoogleTest and the RapidJSON headers. Everything else is the Windows API.
find_package(Threads REQUIRED)
if(NOT TARNWICK_WIN_DEPS OR NOT EXISTS ${TARNWICK_WIN_DEPS}/.complete)
  message(FATAL_ERROR "TARNWICK_WIN_DEPS must name the prefix made by scripts/windows/deps.sh")
endif()

find_library(TARNWICK_CURL_LIBRARY NAMES curl libcurl REQUIRED NO_DEFAULT_PATH PATHS ${TARNWICK_WIN_DEPS}/lib)
add_library(CURL::libcurl STATIC IMPORTED)
set_target_properties(CURL::libcurl PROPERTIES
  IMPORTED_LOCATION ${TARNWICK_CURL_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TARNWICK_WIN_DEPS}/include
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;secur32;bcrypt;iphlpapi;wldap32;advapi32")

find_library(TARNWICK_7ZDEC_LIBRARY NAMES 7zdec REQUIRED NO_DEFAULT_PATH PATHS ${TARNWICK_WIN_DEPS}/lib)
add_library(tarnwick_7zdec STATIC IMPORTED)
set_target_properties(tarnwick_7zdec PROPERTIES
  IMPORTED_LOCATION ${TARNWICK_7ZDEC_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TARNWICK_WIN_DEPS}/include/7zdec)

set(RAPIDJSON_INCLUDE_DIRS ${TARNWICK_WIN_DEPS}/include)

if(TARNWICK_BUILD_TESTS)
  set(GTest_DIR ${TARNWICK_WIN_DEPS}/lib/cmake/GTest)
  find_package(GTest REQUIRED)
endif()

# A Windows program that links the C++ runtime statically: one file, no DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)
# The Windows API in its wide form; Windows 7 is the oldest system the program supports.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
