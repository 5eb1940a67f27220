# Delay-loaded system libraries of the shipped programs.
#
# gdiplus.dll, winmm.dll and winspool.drv are not KnownDLLs on every Windows
# (none of them on Windows 7), so a load-time import of them is searched for
# in the program's own directory first: a DLL of that name lying beside the
# package would be loaded before the entry point runs. Linked against
# tavo_delay_<name>, a program imports them delay-loaded instead: nothing is
# resolved until the first call, by which time the entry point has limited
# the search to System32 (platform/system_libraries.h), and the load itself
# goes through that module's hook.
#
# MSVC has /DELAYLOAD. For MinGW the delay-load import library is made at
# configure time by dlltool from the toolchain's own import library: the
# names it exports (nm) become a .def file.
#
#   tavo_delay_library(NAME DLL [STUB_MACRO])
#   e.g. tavo_delay_library(winspool winspool.drv) gives the target
#   tavo_delay_NAME.
#
# STUB_MACRO: the macro that makes the SDK header declare the library's
# functions without __declspec(dllimport) (winmm's is _WINMM_). With MinGW a
# dllimport call goes through the import pointer alone, and GNU ld for i386
# then drops the delay stub that pointer starts out at as unused: the first
# call jumps to 0. Declared plainly, the functions are called through their
# stubs, which keeps them.

function(tavo_delay_library name dll)
  set(target tavo_delay_${name})
  add_library(${target} INTERFACE)
  if(ARGC GREATER 2 AND NOT MSVC)
    target_compile_definitions(${target} INTERFACE ${ARGV2})
  endif()
  if(MSVC)
    target_link_libraries(${target} INTERFACE ${name} delayimp)
    target_link_options(${target} INTERFACE /DELAYLOAD:${dll})
    return()
  endif()

  find_library(import_lib_${name} NAMES ${name} lib${name}.a REQUIRED)
  set(import_lib ${import_lib_${name}})
  if(NOT CMAKE_DLLTOOL)
    string(REGEX REPLACE "gcc(-posix)?$" "dlltool" CMAKE_DLLTOOL "${CMAKE_C_COMPILER}")
  endif()
  execute_process(COMMAND ${CMAKE_NM} -P --defined-only ${import_lib}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result ERROR_QUIET)
  if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "${CMAKE_NM} could not read ${import_lib}")
  endif()

  # Each import's pointer is __imp_<symbol>; on i386 the symbol carries the
  # C prefix "_" and, for stdcall, "@<argument bytes>", which dlltool --kill-at
  # takes off the name looked up in the DLL.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(pattern "__imp__([A-Za-z0-9_]+(@[0-9]+)?)")
    set(kill_at --kill-at)
  else()
    set(pattern "__imp_([A-Za-z0-9_]+)")
    set(kill_at "")
  endif()
  string(REGEX MATCHALL "(^|\n)${pattern} " found "${symbols}")
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  foreach(entry IN LISTS found)
    string(REGEX REPLACE "^\n?${pattern} $" "\\1" export "${entry}")
    string(APPEND def "  ${export}\n")
  endforeach()
  list(LENGTH found count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no exports found in ${import_lib}")
  endif()

  set(dir ${CMAKE_BINARY_DIR}/delay-load)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/${name}.def "${def}")
  set(delay_lib ${dir}/lib${name}_delay.a)
  execute_process(
    COMMAND ${CMAKE_DLLTOOL} ${kill_at} --input-def ${dir}/${name}.def --dllname ${dll}
            --output-delaylib ${delay_lib}
    RESULT_VARIABLE dlltool_result ERROR_VARIABLE dlltool_errors)
  if(NOT dlltool_result EQUAL 0)
    message(FATAL_ERROR "${CMAKE_DLLTOOL} failed for ${dll}: ${dlltool_errors}")
  endif()
  # The delay-load helper, __delayLoadHelper2, comes from libmingwex.
  target_link_libraries(${target} INTERFACE ${delay_lib})
endfunction()
