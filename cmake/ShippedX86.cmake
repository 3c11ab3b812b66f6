# In an x64 tree: the shipped DLL, the x86 one, built beside it in x86/ (with its upgrade build and
# both packages), its build-time tools being this tree's x64 ones run in this tree's test bed. The
# tests check that DLL from its file and install its package, also where 32-bit code cannot run.
include(ExternalProject)
set(RUD_SHIPPED_X86_DIR ${CMAKE_BINARY_DIR}/x86)
ExternalProject_Add(rud_shipped_x86
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${RUD_SHIPPED_X86_DIR}
  PREFIX ${CMAKE_BINARY_DIR}/x86-ep
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_COMPILE_WARNING_AS_ERROR=${RUD_WARNING_AS_ERROR}
             -DRUD_TOOL_ARCH=x64
             -DRUD_TOOLS_DIR=${CMAKE_BINARY_DIR}/src/com
             -DRUD_TOOL_BED=${WINEBED_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${RUD_SHIPPED_X86_DIR} --target RuDerizIRA RuDerizIRA_next msi msi_next
  BUILD_BYPRODUCTS ${RUD_SHIPPED_X86_DIR}/bin/RuDerizIRA.dll
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  DEPENDS rud_make_typelib rud_make_resources rud_make_installer_rows)
