# Cross build for 64-bit Windows with MinGW-w64: the same sources, for the
# tests and the demo on hosts that run no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
