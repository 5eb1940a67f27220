# The Wine bench of one test run: a virtual display and a throwaway prefix,
# started before the first Windows test and ended after the last one.
# Windows tests run one at a time: they share the prefix's spooler and the
# display.
# Not build/bench: that is the binary directory of bench/, which bench-stop
# would remove with everything built in it.
set(TAVO_BENCH_DIR ${CMAKE_BINARY_DIR}/wine-bench)
set(TAVO_WINE_RUNNER ${CMAKE_SOURCE_DIR}/tests/wine/run-in-wine ${TAVO_BENCH_DIR}/wineprefix)

add_test(NAME wine_bench_start COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench-start ${TAVO_BENCH_DIR})
set_tests_properties(wine_bench_start PROPERTIES FIXTURES_SETUP wine_bench)
add_test(NAME wine_bench_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench-stop ${TAVO_BENCH_DIR})
set_tests_properties(wine_bench_stop PROPERTIES FIXTURES_CLEANUP wine_bench)

# tavo_wine_test(NAME COMMAND...): a test that needs the bench. A command that
# is a Windows target is started through Wine by CMake itself; a script gets
# the bench's directory in TAVO_BENCH_DIR and the runner in TAVO_WINE_RUNNER.
function(tavo_wine_test name)
  cmake_parse_arguments(arg "" "TIMEOUT" "" ${ARGN})
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
