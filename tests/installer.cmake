# The installer package under Wine, each case in private prefixes of its own (installer/installer_test.sh),
# and the packaging command with a throwaway certificate.
set(_inst ${CMAKE_CURRENT_BINARY_DIR}/installer)
# A later version of the same server, to upgrade to.
rud_add_server_dll(RuDerizIRA_next ${_inst}/next/bin VERSION 1,0,1,0 TEXT 1.00.0100)
rud_add_msi(msi_next RuDerizIRA_next ${_inst}/next)

add_executable(installed_probe ${CMAKE_CURRENT_LIST_DIR}/installer/InstalledProbe.cpp)
target_compile_options(installed_probe PRIVATE ${RUD_WARNINGS})
target_include_directories(installed_probe PRIVATE $<TARGET_PROPERTY:rud_module,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_options(installed_probe PRIVATE -municode)
target_link_libraries(installed_probe PRIVATE korvane_framework ole32 oleaut32 uuid)

set(_env ROOT=${PROJECT_SOURCE_DIR} BUILD=${CMAKE_BINARY_DIR} WORK=${_inst}/work SAMPLES=${PROJECT_SOURCE_DIR}/samples
  MSI=${CMAKE_BINARY_DIR}/installer/RuDerizIRA-1.0.0.14.msi NEXT_MSI=${_inst}/next/RuDerizIRA-1.0.1.0.msi
  NEXT_DLL=$<TARGET_FILE:RuDerizIRA_next> PROBE=Z:$<TARGET_FILE:installed_probe> SIM=Z:$<TARGET_FILE:korvane-sim>)
set(_script ${CMAKE_CURRENT_LIST_DIR}/installer/installer_test.sh)
foreach(t install host remove upgrade signing)
  add_test(NAME installer.${t} COMMAND ${CMAKE_COMMAND} -E env ${_env} bash ${_script} ${t})
  set_tests_properties(installer.${t} PROPERTIES TIMEOUT 300)
endforeach()
set_tests_properties(installer.install PROPERTIES FIXTURES_SETUP installed)
set_tests_properties(installer.host PROPERTIES FIXTURES_REQUIRED installed)
set_tests_properties(installer.remove PROPERTIES FIXTURES_CLEANUP installed)
# Packaging runs its build-time tool in the shared test bed.
set_tests_properties(installer.signing PROPERTIES FIXTURES_REQUIRED winebed)
