# Writes the source that embeds one resource file (run by tarnwick_add_resources at build time).
# Inputs: TYPE, ID, INPUT, OUTPUT, SYMBOL.
foreach(var TYPE ID INPUT OUTPUT SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ResourceSource.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "Resource file ${INPUT} does not exist")
endif()
# The content hash goes into the source so that compiler caches see every change of the bytes.
file(SHA256 "${INPUT}" hash)
string(REPLACE "\\" "\\\\" path "${INPUT}")
string(REPLACE "\"" "\\\"" path "${path}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} (SHA-256 ${hash}). Do not edit.
#include <cstddef>
#include <cstdint>

#include \"utility/skin/linux/resource_registration_linux.h\"

__asm__(R\"tarnwick(
  .pushsection .rodata
  .balign 16
  .globl ${SYMBOL}_begin
  .globl ${SYMBOL}_end
${SYMBOL}_begin:
  .incbin \"${path}\"
${SYMBOL}_end:
  .byte 0
  .popsection
)tarnwick\");

extern \"C\" const uint8_t ${SYMBOL}_begin[];
extern \"C\" const uint8_t ${SYMBOL}_end[];

namespace {
const utility::ResourceRegistration kRegistration(
    L\"${TYPE}\", ${ID}, ${SYMBOL}_begin, static_cast<size_t>(${SYMBOL}_end - ${SYMBOL}_begin));
}  // namespace
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
