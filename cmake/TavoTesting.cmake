# The Wine bench of one test run: a virtual display and a throwaway prefix,
# started before the first Windows test and ended after the last one.
# Windows tests run one at a time: they share the prefix's spooler and the
# display.
# Not build/bench: that is the binary directory of bench/, which bench-stop
# would remove with everything built in it.
#
# TAVO_WINE_SUITES picks which Windows tests this build registers:
#   all   every suite under Wine (the build the host runs)
#   core  only the core and spooler tests, the ones marked CORE (the other
#         build, beside the first, where the host runs both)
#   none  no Wine test: the build is only checked statically (the shipped
#         32-bit build on a host that runs no 32-bit code)
set(TAVO_WINE_SUITES "all" CACHE STRING "Windows tests run under Wine: all, core or none")
set_property(CACHE TAVO_WINE_SUITES PROPERTY STRINGS all core none)
if(NOT TAVO_WINE_SUITES MATCHES "^(all|core|none)$")
  message(FATAL_ERROR "TAVO_WINE_SUITES must be all, core or none, not '${TAVO_WINE_SUITES}'")
endif()
# TAVO_WINE_ROOT runs the bench on the Wine of that root folder instead of the
# system's (tests/wine/wine10-root makes one; scripts/test-wine10.sh runs the
# 64-bit suites on it). Empty: the system's Wine, or the TAVO_WINE_ROOT of
# CTest's environment.
set(TAVO_WINE_ROOT "" CACHE PATH "Root folder of another Wine for the bench (empty: the system's)")
set(TAVO_BENCH_DIR ${CMAKE_BINARY_DIR}/wine-bench)
set(TAVO_WINE_RUNNER ${CMAKE_SOURCE_DIR}/tests/wine/run-in-wine ${TAVO_BENCH_DIR}/wineprefix)

if(NOT TAVO_WINE_SUITES STREQUAL "none")
  set(bench_start ${CMAKE_SOURCE_DIR}/tests/wine/bench-start ${TAVO_BENCH_DIR})
  if(TAVO_WINE_ROOT)
    set(bench_start ${CMAKE_COMMAND} -E env TAVO_WINE_ROOT=${TAVO_WINE_ROOT} ${bench_start})
  endif()
  add_test(NAME wine_bench_start COMMAND ${bench_start})
  set_tests_properties(wine_bench_start PROPERTIES FIXTURES_SETUP wine_bench)
  add_test(NAME wine_bench_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench-stop ${TAVO_BENCH_DIR})
  set_tests_properties(wine_bench_stop PROPERTIES FIXTURES_CLEANUP wine_bench)
endif()

# tavo_wine_test(NAME [CORE] COMMAND...): a test that needs the bench. A
# command that is a Windows target is started through Wine by CMake itself; a
# script gets the bench's directory in TAVO_BENCH_DIR and the runner in
# TAVO_WINE_RUNNER. CORE marks the core and spooler tests.
function(tavo_wine_test name)
  cmake_parse_arguments(arg "CORE" "TIMEOUT" "" ${ARGN})
  if(TAVO_WINE_SUITES STREQUAL "none" OR (TAVO_WINE_SUITES STREQUAL "core" AND NOT arg_CORE))
    return()
  endif()
  add_test(NAME ${name} COMMAND ${arg_UNPARSED_ARGUMENTS})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  string(JOIN " " runner ${TAVO_WINE_RUNNER})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_bench
    RESOURCE_LOCK wine_bench
    TIMEOUT ${arg_TIMEOUT}
    ENVIRONMENT "TAVO_BENCH_DIR=${TAVO_BENCH_DIR};TAVO_WINE_RUNNER=${runner}")
endfunction()
