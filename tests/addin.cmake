# The add-in through the host simulator: MyAddin's connection, the event hub and the pane registry.
foreach(t addin_connection_test addin_registry_test addin_tree_test addin_fuzz_test addin_matrix_test)
  # The fault matrix runs some 800 sessions.
  set(_timeout 300)
  if(t STREQUAL addin_matrix_test)
    set(_timeout 900)
  endif()
  rud_add_test(${t} ${CMAKE_CURRENT_LIST_DIR}/${t}.cpp LIBS korvane_host rud_testkit TIMEOUT ${_timeout})
  add_dependencies(${t} RuDerizIRA)
  target_compile_definitions(${t} PRIVATE "RUD_TEST_DLL=L\"Z:$<TARGET_FILE:RuDerizIRA>\""
                                          "RUD_TEST_SAMPLES=L\"Z:${CMAKE_SOURCE_DIR}/samples\"")
endforeach()

# The README's main job: one edit through the pane in korvane-sim; the script fails unless the
# reopened file holds the new value.
# Serial: it registers the DLL in the test bed's registry, which the registration tests compare.
add_test(NAME Demo.EditThroughThePaneIsSaved COMMAND ${CMAKE_SOURCE_DIR}/scripts/demo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(Demo.EditThroughThePaneIsSaved PROPERTIES
  FIXTURES_REQUIRED winebed RUN_SERIAL TRUE TIMEOUT 120)
