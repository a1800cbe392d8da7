# Release builds are the product only: the development automation (the job without a window, the
# window's automated user, their summaries and screenshots), the headless window host and the PNG
# writer must not be linked into the installer. Reads the executable's symbol table: with
# EXPECT=absent (release builds) it fails naming each of NAMES it finds; with EXPECT=present
# (development builds) it fails naming each it misses, so the names checked stay real ones.
# Usage: cmake -DEXE=<installer> -DNM=<nm> -DEXPECT=absent|present "-DNAMES=a;b" -P development_symbols.cmake
execute_process(COMMAND ${NM} -C ${EXE} OUTPUT_VARIABLE symbols RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read the symbols of ${EXE}: ${error}")
endif()
# A stripped file has no symbol table to check: that must not pass as "nothing linked".
string(LENGTH "${symbols}" length)
if(length LESS 1000)
  message(FATAL_ERROR "${EXE} has (almost) no symbol table: the check needs the unstripped link output")
endif()
set(wrong)
foreach(name IN LISTS NAMES)
  set(found)
  string(FIND "${symbols}" "${name}" at)
  if(NOT at EQUAL -1)
    # The whole line, for the message.
    string(SUBSTRING "${symbols}" 0 ${at} before)
    string(FIND "${before}" "\n" start REVERSE)
    math(EXPR start "${start} + 1")
    string(SUBSTRING "${symbols}" ${start} 200 found)
    string(REGEX REPLACE "\n.*" "" found "${found}")
  endif()
  if(EXPECT STREQUAL "absent" AND found)
    list(APPEND wrong "${name} (${found})")
  elseif(EXPECT STREQUAL "present" AND NOT found)
    list(APPEND wrong "${name}")
  endif()
endforeach()
if(wrong)
  list(JOIN wrong "\n  " shown)
  if(EXPECT STREQUAL "absent")
    message(FATAL_ERROR "${EXE} links development-only code:\n  ${shown}")
  else()
    message(FATAL_ERROR "${EXE} lacks development code these names should find (renamed?):\n  ${shown}")
  endif()
endif()
