# Cross toolchain: 32-bit Windows (x86, the shipped DLL) with mingw-w64, run under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
