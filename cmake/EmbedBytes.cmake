# Files compiled into the program as constant bytes: the setup page
# (setup/page) and the web view's bridge script (platform/).

find_program(MORVANE_XZ xz REQUIRED)
set(MORVANE_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/embed_bytes.cmake")

# morvane_embed_bytes(OUTPUT INPUT HEADER NAMESPACE FUNCTION [XZ]): a C++
# source, generated at build time, whose FUNCTION returns INPUT's bytes
# (compressed into one xz stream with XZ).
function(morvane_embed_bytes output)
  cmake_parse_arguments(E "XZ" "INPUT;HEADER;NAMESPACE;FUNCTION" "" ${ARGN})
  set(xz_arg "")
  if(E_XZ)
    set(xz_arg "-DXZ=${MORVANE_XZ}")
  endif()
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}"
            "-DINPUT=${E_INPUT}" "-DOUTPUT=${output}" "-DHEADER=${E_HEADER}"
            "-DNAMESPACE=${E_NAMESPACE}" "-DFUNCTION=${E_FUNCTION}" ${xz_arg}
            -P "${MORVANE_EMBED_SCRIPT}"
    DEPENDS "${E_INPUT}" "${MORVANE_EMBED_SCRIPT}"
    COMMENT "Embedding ${E_INPUT}"
    VERBATIM)
endfunction()
