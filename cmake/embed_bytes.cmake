# Turns a file's bytes into a C++ source file that defines
#   std::span<const std::uint8_t> NAMESPACE::FUNCTION()
# answering them. Needs nothing beyond CMake. Run as
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DHEADER=header.h -DNAMESPACE=ns -DFUNCTION=Name
#         -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated from ${input_name} by cmake/embed_bytes.cmake; do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {
const std::uint8_t kBytes[${size} + 1] = {
    ${bytes}0};
}  // namespace

std::span<const std::uint8_t> ${FUNCTION}() { return {kBytes, ${size}}; }

}  // namespace ${NAMESPACE}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
