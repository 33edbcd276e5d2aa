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

# morvane_test(NAME SOURCES... LIBS ... [LOCKS ...] [SHARDS n]): one GoogleTest binary,
# its cases registered with CTest one by one. LOCKS names the CTest resource
# locks its cases hold (the fixed loopback ports of the test build's release
# host and site API), so that no two cases using one of them run at once.
#
# In a Windows build the binary runs under Wine as SHARDS ctest tests
# (morvane_wine_test of cmake/WineTests.cmake).
function(morvane_test name)
  cmake_parse_arguments(T "" "SHARDS" "SOURCES;LIBS;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    morvane_wine_test(${name} SHARDS "${T_SHARDS}" LOCKS ${T_LOCKS})
    return()
  endif()
  if(T_LOCKS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 RESOURCE_LOCK "${T_LOCKS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# morvane_fuzzer(NAME SOURCE LIBS ...): a libFuzzer target, built only with MORVANE_FUZZ.
function(morvane_fuzzer name)
  if(NOT MORVANE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address)
endfunction()
