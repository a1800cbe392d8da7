# Packs every file under SKIN_DIR into the 7z archive OUTPUT (solid, LZMA2, a CRC32 per file),
# paths relative to SKIN_DIR with "/" between folders. Run at build time with BSDTAR set.
foreach(var SKIN_DIR OUTPUT BSDTAR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "PackSkin.cmake: ${var} is not set")
  endif()
endforeach()
file(GLOB_RECURSE files RELATIVE "${SKIN_DIR}" LIST_DIRECTORIES false "${SKIN_DIR}/*")
list(SORT files)
if(NOT files)
  # Nothing to pack: an empty resource, which the installer treats as a missing archive.
  file(WRITE "${OUTPUT}" "")
  return()
endif()
string(REPLACE ";" "\n" listing "${files}")
file(WRITE "${OUTPUT}.list" "${listing}\n")
file(REMOVE "${OUTPUT}.tmp")
execute_process(
  COMMAND "${BSDTAR}" --format 7zip --options 7zip:compression=lzma2 -cf "${OUTPUT}.tmp"
          -C "${SKIN_DIR}" -T "${OUTPUT}.list"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "bsdtar could not pack the skin archive (${result})")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
