# Turns a file of unsigned 32-bit little-endian integers into a C++ list of
# hexadecimal literals, eight per line, for #include inside an initialiser.
#   cmake -DINPUT=file.bin -DOUTPUT=file.inc -P embed_u32_table.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR remainder "${digits} % 8")
if(NOT remainder EQUAL 0)
  message(FATAL_ERROR "${INPUT}: size is not a multiple of 4 bytes")
endif()
# Each group of four bytes b0 b1 b2 b3 becomes the literal 0xb3b2b1b0u.
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1u," literals "${hex}")
# (CMake regular expressions have no {n} repetition.)
set(literal "0x........u,")
string(REGEX REPLACE "(${literal}${literal}${literal}${literal}${literal}${literal}${literal}${literal})" "\\1\n" literals "${literals}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\n${literals}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
