# The installer package under Wine, each case in private prefixes of its own (installer/installer_test.sh),
# and the packaging command with a throwaway certificate.
set(_inst ${CMAKE_CURRENT_BINARY_DIR}/installer)
if(RUD_ARCH STREQUAL "x86")
  # A later version of the same server, to upgrade to.
  rud_add_server_dll(RuDerizIRA_next ${_inst}/next/bin VERSION 1,0,1,0 TEXT 1.00.0100)
  rud_add_msi(msi_next RuDerizIRA_next ${_inst}/next)
  set(_x86 ${CMAKE_BINARY_DIR})
else()
  # The packages are the x86 DLL's, built in x86/ (cmake/ShippedX86.cmake).
  set(_x86 ${RUD_SHIPPED_X86_DIR})
endif()

add_executable(installed_probe ${CMAKE_CURRENT_LIST_DIR}/installer/InstalledProbe.cpp)
target_link_libraries(installed_probe PRIVATE rud_warnings)
target_include_directories(installed_probe PRIVATE $<TARGET_PROPERTY:rud_module,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_options(installed_probe PRIVATE -municode)
target_link_libraries(installed_probe PRIVATE korvane_framework ole32 oleaut32 uuid)

# The registration table written into the 32-bit view: what the rows are compared with in a
# 64-bit prefix.
add_executable(installer_table_rows ${CMAKE_CURRENT_LIST_DIR}/installer/TableRows.cpp ${PROJECT_SOURCE_DIR}/src/com/RegistryTable.cpp)
target_link_libraries(installer_table_rows PRIVATE rud_warnings)
target_include_directories(installer_table_rows PRIVATE ${PROJECT_SOURCE_DIR}/src/com)
target_link_options(installer_table_rows PRIVATE -municode)
target_link_libraries(installer_table_rows PRIVATE rud_module rud_support ole32 oleaut32 uuid advapi32)

set(_env ROOT=${PROJECT_SOURCE_DIR} BUILD=${_x86} WORK=${_inst}/work SAMPLES=${PROJECT_SOURCE_DIR}/samples ARCH=${RUD_ARCH}
  MSI=${_x86}/installer/RuDerizIRA-1.0.0.14.msi NEXT_MSI=${_x86}/tests/installer/next/RuDerizIRA-1.0.1.0.msi
  NEXT_DLL=${_x86}/tests/installer/next/bin/RuDerizIRA.dll PROBE=Z:$<TARGET_FILE:installed_probe> SIM=Z:$<TARGET_FILE:korvane-sim>
  TABLE=Z:$<TARGET_FILE:installer_table_rows>)
set(_script ${CMAKE_CURRENT_LIST_DIR}/installer/installer_test.sh)
# The host simulator loads the installed add-in only where it is of the add-in's architecture.
set(_cases install remove upgrade signing)
if(RUD_ARCH STREQUAL "x86")
  list(APPEND _cases host)
endif()
foreach(t ${_cases})
  add_test(NAME installer.${t} COMMAND ${CMAKE_COMMAND} -E env ${_env} bash ${_script} ${t})
  set_tests_properties(installer.${t} PROPERTIES TIMEOUT 300)
endforeach()
set_tests_properties(installer.install PROPERTIES FIXTURES_SETUP installed)
if(RUD_ARCH STREQUAL "x86")
  set_tests_properties(installer.host PROPERTIES FIXTURES_REQUIRED installed)
endif()
set_tests_properties(installer.remove PROPERTIES FIXTURES_CLEANUP installed)
# Packaging runs its build-time tool in the shared test bed.
set_tests_properties(installer.signing PROPERTIES FIXTURES_REQUIRED winebed)
