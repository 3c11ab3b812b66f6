# widl: an IDL file becomes a header, the IID definitions and a type library in the build tree.
execute_process(COMMAND dpkg -L libwine-dev OUTPUT_VARIABLE _wine_files ERROR_QUIET)
string(REGEX MATCH "[^\n]*/oaidl\\.idl" _oaidl "${_wine_files}")
if(NOT _oaidl)
  message(FATAL_ERROR "oaidl.idl not found: run scripts/setup.sh (libwine-dev)")
endif()
get_filename_component(WINE_IDL_DIR ${_oaidl} DIRECTORY)
# stdole2.tlb to import from: the 32-bit Wine's where it is installed, else the 64-bit one's (a
# machine that refuses 32-bit code has no 32-bit Wine; widl reads only the names from it).
foreach(_pkg libwine:i386 libwine:amd64)
  execute_process(COMMAND dpkg -L ${_pkg} OUTPUT_VARIABLE _wine_libs ERROR_QUIET)
  string(REGEX MATCH "[^\n]*/stdole2\\.tlb" _stdole "${_wine_libs}")
  if(_stdole)
    break()
  endif()
endforeach()
get_filename_component(WINE_TLB_DIR "${_stdole}" DIRECTORY)
find_program(WIDL widl REQUIRED)
set(IDL_OUT_DIR ${CMAKE_BINARY_DIR}/idl)
file(MAKE_DIRECTORY ${IDL_OUT_DIR})

function(rud_add_idl target idl base)
  set(h ${IDL_OUT_DIR}/${base}.h)
  set(c ${IDL_OUT_DIR}/${base}_i.c)
  set(tlb ${IDL_OUT_DIR}/${base}.tlb)
  add_custom_command(
    OUTPUT ${h} ${c} ${tlb}
    COMMAND ${WIDL} --${RUD_WIDL_TARGET} -I${WINE_IDL_DIR} -L${WINE_TLB_DIR}
            -h -H ${h} -u -U ${c} -t -T ${tlb} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${base}.idl")
  add_library(${target} STATIC ${c} ${h})
  target_include_directories(${target} PUBLIC ${IDL_OUT_DIR})
  set_property(TARGET ${target} PROPERTY TLB ${tlb})
endfunction()
