# The Windows build's tests run under Wine, on the build machine.
#
# ctest starts every Windows test program through testkit/wine/wine-run.sh
# (the emulator), in one Wine prefix per test run that the fixture
# "wine_prefix" makes in a temporary folder before the first test and
# removes after the last. The prefix gets the tests' shortcut maker
# (testkit/wine) in place of Wine's powershell; MORVANE_WINE_STATE_DIR holds
# the name of the prefix's folder while it exists.
set(MORVANE_WINE_DIR "${PROJECT_SOURCE_DIR}/testkit/wine")
set(MORVANE_WINE_STATE_DIR "${CMAKE_BINARY_DIR}/wine")
set(MORVANE_SHORTCUT_MAKER "${CMAKE_BINARY_DIR}/testkit/wine/powershell.exe")
set(CMAKE_CROSSCOMPILING_EMULATOR
    sh "${MORVANE_WINE_DIR}/wine-run.sh" "${MORVANE_WINE_STATE_DIR}" "${MORVANE_SHORTCUT_MAKER}")
# wine-run.sh with a state folder that never names the run's prefix, so that
# it makes one of its own for the one program.
set(MORVANE_WINE_RUN_OWN
    sh "${MORVANE_WINE_DIR}/wine-run.sh" "${CMAKE_BINARY_DIR}/wine-own" "${MORVANE_SHORTCUT_MAKER}")

find_program(MORVANE_WINE wine REQUIRED)

add_test(NAME wine_prefix_setup
  COMMAND sh "${MORVANE_WINE_DIR}/wine-prefix.sh" setup "${MORVANE_WINE_STATE_DIR}" "${MORVANE_SHORTCUT_MAKER}")
add_test(NAME wine_prefix_cleanup COMMAND sh "${MORVANE_WINE_DIR}/wine-prefix.sh" cleanup "${MORVANE_WINE_STATE_DIR}")
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 120)

# That a run, ended or killed part-way, in a prefix of its own or in the
# run's, leaves no process of its prefix alive (prefixes of its own, below a
# folder of its own).
add_test(NAME wine_prefix_leftovers
  COMMAND sh "${MORVANE_WINE_DIR}/wine-leftovers-test.sh" "${MORVANE_SHORTCUT_MAKER}")
set_tests_properties(wine_prefix_leftovers PROPERTIES TIMEOUT 600)

# Whether this machine lets a test run in a network namespace of its own
# (unshare -n: root, as CI runs); the tests that hold the fixed loopback
# ports then run side by side, each shard in a namespace and a Wine prefix of
# its own (own-network.sh).
if(NOT DEFINED MORVANE_OWN_NETWORKS)
  execute_process(COMMAND sh "${MORVANE_WINE_DIR}/own-network.sh" true
    RESULT_VARIABLE own_network_result OUTPUT_QUIET ERROR_QUIET)
  if(own_network_result EQUAL 0)
    set(MORVANE_OWN_NETWORKS ON CACHE BOOL "Shards of the port-holding Wine tests run in network namespaces of their own")
  else()
    set(MORVANE_OWN_NETWORKS OFF CACHE BOOL "Shards of the port-holding Wine tests run in network namespaces of their own")
  endif()
endif()

# morvane_wine_test(TARGET [SHARDS n] [LOCKS ...] [TIMEOUT s]): the GoogleTest
# program TARGET as n ctest tests, each running one shard of its cases (a
# Wine start per case would cost more than the cases themselves), in the
# run's prefix. With LOCKS (the fixed ports) and MORVANE_OWN_NETWORKS, each
# shard runs instead in a network namespace and a Wine prefix of its own and
# holds no lock, so the shards run side by side; without a namespace they
# hold the locks and run one after another.
function(morvane_wine_test target)
  cmake_parse_arguments(W "" "SHARDS;TIMEOUT" "LOCKS" ${ARGN})
  if(NOT W_SHARDS)
    set(W_SHARDS 1)
  endif()
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 900)
  endif()
  math(EXPR last "${W_SHARDS} - 1")
  foreach(shard RANGE ${last})
    set(test "${target}")
    if(W_SHARDS GREATER 1)
      set(test "${target}/${shard}")
    endif()
    if(W_LOCKS AND MORVANE_OWN_NETWORKS)
      # A state folder that never names a prefix: wine-run.sh makes one of
      # the shard's own, inside its namespace.
      add_test(NAME "${test}"
        COMMAND sh "${MORVANE_WINE_DIR}/own-network.sh"
          ${MORVANE_WINE_RUN_OWN} "$<TARGET_FILE:${target}>" --gtest_brief=1)
      set_tests_properties("${test}" PROPERTIES
        ENVIRONMENT "GTEST_TOTAL_SHARDS=${W_SHARDS};GTEST_SHARD_INDEX=${shard}"
        TIMEOUT ${W_TIMEOUT})
    else()
      add_test(NAME "${test}" COMMAND ${target} --gtest_brief=1)
      set_tests_properties("${test}" PROPERTIES
        ENVIRONMENT "GTEST_TOTAL_SHARDS=${W_SHARDS};GTEST_SHARD_INDEX=${shard}"
        FIXTURES_REQUIRED wine_prefix
        TIMEOUT ${W_TIMEOUT})
      if(W_LOCKS)
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK "${W_LOCKS}")
      endif()
    endif()
  endforeach()
endfunction()

# morvane_wine_display_test(TARGET TIMEOUT s [LOCKS ...] [AFTER test]): the
# window tests of TARGET, each run on a display of its own (with_xvfb.sh, a
# screen large enough for the main window at 150 %) in a Wine prefix of its
# own (wine-display.sh) rather than the run's, as one CTest test per
# scaling: 100 % and 150 %. Each holds the resource locks of LOCKS and runs
# after the test AFTER.
function(morvane_wine_display_test target)
  cmake_parse_arguments(D "" "TIMEOUT;AFTER" "LOCKS" ${ARGN})
  set(on_display env MORVANE_XVFB_SCREEN=1600x1000x24 sh "${MORVANE_ON_OWN_DISPLAY}"
      sh "${PROJECT_SOURCE_DIR}/platform/tests/win/wine-display.sh")
  foreach(dpi 96 144)
    add_test(NAME ${target}/${dpi}
      COMMAND ${on_display} ${dpi} "$<TARGET_FILE:morvane_shortcut_maker>" "$<TARGET_FILE:${target}>" --gtest_brief=1)
    set_tests_properties(${target}/${dpi} PROPERTIES TIMEOUT ${D_TIMEOUT})
    if(D_LOCKS)
      set_tests_properties(${target}/${dpi} PROPERTIES RESOURCE_LOCK "${D_LOCKS}")
    endif()
    if(D_AFTER)
      set_tests_properties(${target}/${dpi} PROPERTIES DEPENDS "${D_AFTER}")
    endif()
  endforeach()
endfunction()
