# Draws the program icon: the SVG at every size Windows picks from (16 to 64 pixels for lists,
# title bars and task bars at 100 % to 250 % scale, 256 for large views), packed into one .ico
# with icotool (the 256-pixel image kept as PNG). Run at build time with SVG, OUTPUT,
# RSVG_CONVERT and ICOTOOL set.
foreach(var SVG OUTPUT RSVG_CONVERT ICOTOOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RenderIcon.cmake: ${var} is not set")
  endif()
endforeach()
set(work "${OUTPUT}.images")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
set(images)
foreach(size 16 20 24 32 40 48 64 256)
  execute_process(
    COMMAND "${RSVG_CONVERT}" --width ${size} --height ${size} --format png -o "${work}/${size}.png" "${SVG}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rsvg-convert could not draw ${SVG} at ${size} pixels (${result})")
  endif()
  if(size EQUAL 256)
    list(APPEND images "--raw=${work}/${size}.png")
  else()
    list(APPEND images "${work}/${size}.png")
  endif()
endforeach()
execute_process(COMMAND "${ICOTOOL}" -c -o "${OUTPUT}.tmp" ${images} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "icotool could not pack ${OUTPUT} (${result})")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE_RECURSE "${work}")
