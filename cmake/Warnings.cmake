# Every target of the project compiles with warnings on and, when asked,
# under the sanitizers or with libFuzzer instrumentation.
# (The C and C++ compilers only: a Windows build's resource compiler takes
# none of these.)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra>")

if(MORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MORVANE_FUZZ needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address)
endif()
