# Data linked into executables and found at run time with utility::findResource(type, id).
#
#   tarnwick_add_resources(<target> RESOURCE <type> <id> <file> [RESOURCE <type> <id> <file> ...])
#
# makes the OBJECT library <target>: one generated source per file, which embeds the bytes with
# the assembler's .incbin and registers them under (type, id) before main runs. Link <target>
# directly into the executables that need the data (an object library's objects are always
# linked, so the registration cannot be dropped the way an unused archive member would be).
set(TARNWICK_RESOURCE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/ResourceSource.cmake)

function(tarnwick_add_resources target)
  set(args ${ARGN})
  set(sources)
  while(args)
    list(LENGTH args remaining)
    if(remaining LESS 4)
      message(FATAL_ERROR "tarnwick_add_resources(${target}): expected RESOURCE <type> <id> <file>")
    endif()
    list(POP_FRONT args keyword type id file)
    if(NOT keyword STREQUAL "RESOURCE" OR NOT id MATCHES "^[0-9]+$")
      message(FATAL_ERROR "tarnwick_add_resources(${target}): expected RESOURCE <type> <id> <file>")
    endif()
    string(MAKE_C_IDENTIFIER "tarnwick_resource_${target}_${type}_${id}" symbol)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DTYPE=${type} -DID=${id} -DINPUT=${file} -DOUTPUT=${output}
              -DSYMBOL=${symbol} -P ${TARNWICK_RESOURCE_SCRIPT}
      DEPENDS ${file} ${TARNWICK_RESOURCE_SCRIPT}
      COMMENT "Embedding resource ${type} ${id}"
      VERBATIM)
    # The object embeds the file's bytes: rebuild it whenever they change.
    set_source_files_properties(${output} PROPERTIES OBJECT_DEPENDS ${file})
    list(APPEND sources ${output})
  endwhile()
  add_library(${target} OBJECT ${sources})
  target_link_libraries(${target} PUBLIC tarnwick_skin)
endfunction()
