# How the project's tests and fuzzers are built and registered.

# The EMULATOR that runs a test program on a private Xvfb server of its own,
# for the window layer, the page and the window mode.
set(MORVANE_ON_OWN_DISPLAY "${PROJECT_SOURCE_DIR}/platform/tests/with_xvfb.sh")

# morvane_test_binary(NAME SOURCES ... LIBS ... [DEFINES ...] [DEPENDS ...]):
# one GoogleTest program, linked with GoogleTest and GoogleMock and their
# main(), compiled with DEFINES, built after the targets of DEPENDS (the
# programs it starts). It is not registered with CTest: see morvane_test.
function(morvane_test_binary name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEFINES;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(T_DEFINES)
    target_compile_definitions(${name} PRIVATE ${T_DEFINES})
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
endfunction()

# morvane_test(NAME SOURCES ... LIBS ... [DEFINES ...] [DEPENDS ...]
#              [LOCKS ...] [EMULATOR command ...] [TIMEOUT s] [SHARDS n]):
# morvane_test_binary, registered with CTest.
#
# Here each case is a CTest test of its own (TIMEOUT, 300 s unless given).
# LOCKS names the CTest resource locks its cases hold (the fixed loopback
# ports of the test build's release host and site API), so that no two cases
# using one of them run at once. EMULATOR is the command that each case runs
# under (a private X server, say).
#
# In a Windows build the program runs under Wine as SHARDS CTest tests
# (morvane_wine_test of cmake/WineTests.cmake) with the same LOCKS.
function(morvane_test name)
  cmake_parse_arguments(T "" "SHARDS;TIMEOUT" "SOURCES;LIBS;DEFINES;DEPENDS;LOCKS;EMULATOR" ${ARGN})
  morvane_test_binary(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} DEFINES ${T_DEFINES} DEPENDS ${T_DEPENDS})
  if(WIN32)
    morvane_wine_test(${name} SHARDS "${T_SHARDS}" LOCKS ${T_LOCKS})
    return()
  endif()
  if(T_EMULATOR)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${T_EMULATOR}")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(properties TIMEOUT ${T_TIMEOUT})
  if(T_LOCKS)
    list(APPEND properties RESOURCE_LOCK "${T_LOCKS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# morvane_fuzzer(NAME SOURCES ... LIBS ...): a libFuzzer target, built only
# with MORVANE_FUZZ.
function(morvane_fuzzer name)
  if(NOT MORVANE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address)
endfunction()
