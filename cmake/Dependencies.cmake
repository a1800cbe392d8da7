# Every dependency comes from Debian packages installed by scripts/setup.sh; the Windows build's
# are built from Debian's source packages by scripts/windows/deps.sh.
if(TARNWICK_PLATFORM STREQUAL "win")
  include(${CMAKE_CURRENT_LIST_DIR}/DependenciesWindows.cmake)
  return()
endif()
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0 gio-unix-2.0)
pkg_check_modules(SOUP REQUIRED IMPORTED_TARGET libsoup-3.0)
# libsoup's pkg-config file passes on GModule's --export-dynamic, meant for programs that look up
# their own symbols at run time; ours never do, and it puts every function of the executable in
# its dynamic symbol table (about 100 KiB of the file).
get_target_property(_soup_link_options PkgConfig::SOUP INTERFACE_LINK_OPTIONS)
if(_soup_link_options)
  list(REMOVE_ITEM _soup_link_options "-Wl,--export-dynamic")
  set_target_properties(PkgConfig::SOUP PROPERTIES INTERFACE_LINK_OPTIONS "${_soup_link_options}")
endif()
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
# Drawing of the toolkit: Cairo, Pango on Cairo, gdk-pixbuf (PNG and JPEG).
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo pangocairo pango gdk-pixbuf-2.0)
pkg_check_modules(LIBARCHIVE REQUIRED IMPORTED_TARGET libarchive)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(RapidJSON QUIET)
if(NOT RapidJSON_FOUND)
  find_path(RAPIDJSON_INCLUDE_DIRS rapidjson/document.h REQUIRED)
endif()
if(TARNWICK_BUILD_TESTS)
  find_package(GTest REQUIRED)
  # The accessibility tests read the windows as a screen reader does, over AT-SPI.
  pkg_check_modules(ATSPI REQUIRED IMPORTED_TARGET atspi-2)
endif()
