# Turns a file into a C++ source that holds its bytes as one constant array,
# run at build time with `cmake -P`:
#
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DHEADER=<include path>
#         -DNAMESPACE=<ns> -DFUNCTION=<name> [-DXZ=<path of xz>] -P embed_bytes.cmake
#
# With XZ, the bytes are first compressed into one xz stream (LZMA2, preset 9e,
# CRC32 check). The generated function returns the bytes as a
# platform::ByteView that lives for the whole program.
foreach(required INPUT OUTPUT HEADER NAMESPACE FUNCTION)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_bytes.cmake needs -D${required}=...")
  endif()
endforeach()

set(source "${INPUT}")
if(DEFINED XZ AND NOT XZ STREQUAL "")
  set(source "${OUTPUT}.xz")
  execute_process(
    COMMAND "${XZ}" --format=xz --check=crc32 --lzma2=preset=9e -c "${INPUT}"
    OUTPUT_FILE "${source}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "xz could not compress ${INPUT}: ${status}")
  endif()
endif()

file(READ "${source}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes to a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " hex "${hex}")
if(size EQUAL 0)
  set(hex "0x00")
endif()

get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Generated at build time from ${input_name}; do not edit.
#include \"${HEADER}\"

#include <cstdint>

namespace ${NAMESPACE} {

platform::ByteView ${FUNCTION}() {
  static constexpr std::uint8_t bytes[] = {
    ${hex}
  };
  return platform::ByteView(bytes, ${size});
}

}  // namespace ${NAMESPACE}
")
