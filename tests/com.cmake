# The COM server's tests: its surface through the exports, its resources, its registration.
# They load bin/RuDerizIRA.dll and read the host's type library from the build tree.
get_property(_rud_host_tlb TARGET korvane_framework PROPERTY TLB)
set(_rud_com_defs RUD_SERVER_DLL="$<TARGET_FILE:RuDerizIRA>" RUD_HOST_TLB="${_rud_host_tlb}")
set(_rud_com_includes ${PROJECT_SOURCE_DIR}/src/com ${CMAKE_CURRENT_LIST_DIR})

rud_add_test(com_server_test ${CMAKE_CURRENT_LIST_DIR}/com_server_test.cpp
  LIBS rud_module rud_support korvane_framework ole32 oleaut32 uuid)
rud_add_test(com_resources_test ${CMAKE_CURRENT_LIST_DIR}/com_resources_test.cpp
  LIBS rud_module rud_support korvane_framework ole32 oleaut32 uuid version gdi32)
# Registration changes HKEY_CLASSES_ROOT of the whole test bed: nothing else runs meanwhile.
rud_add_test(com_registration_test ${CMAKE_CURRENT_LIST_DIR}/com_registration_test.cpp
  ${PROJECT_SOURCE_DIR}/src/com/RegistryTable.cpp
  LIBS rud_module rud_support korvane_framework ole32 oleaut32 uuid advapi32 SERIAL TIMEOUT 300)

foreach(t com_server_test com_resources_test com_registration_test)
  target_compile_definitions(${t} PRIVATE ${_rud_com_defs})
  target_include_directories(${t} PRIVATE ${_rud_com_includes})
  add_dependencies(${t} RuDerizIRA)
endforeach()

# In an x64 tree, the shipped x86 DLL (built in x86/) checked from its file: its resources and
# type library as above, its export and import tables.
if(RUD_ARCH STREQUAL "x64")
  rud_add_test(com_shipped_x86_test ${CMAKE_CURRENT_LIST_DIR}/com_resources_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/com_shipped_image_test.cpp
    LIBS rud_module rud_support korvane_framework ole32 oleaut32 uuid version gdi32 PREFIX ShippedX86.)
  target_compile_definitions(com_shipped_x86_test PRIVATE RUD_SERVER_FILE_ONLY
    RUD_SERVER_DLL="${RUD_SHIPPED_X86_DIR}/bin/RuDerizIRA.dll"
    RUD_HOST_TLB="${RUD_SHIPPED_X86_DIR}/idl/KorvaneFramework.tlb")
  target_include_directories(com_shipped_x86_test PRIVATE ${_rud_com_includes})
  add_dependencies(com_shipped_x86_test rud_shipped_x86)
endif()
