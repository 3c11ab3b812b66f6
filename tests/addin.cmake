# The add-in through the host simulator: MyAddin's connection, the event hub and the pane registry.
foreach(t addin_connection_test addin_registry_test addin_tree_test addin_fuzz_test addin_matrix_test)
  # The fault matrix runs some 800 sessions.
  set(_timeout 300)
  if(t STREQUAL addin_matrix_test)
    set(_timeout 900)
  endif()
  rud_add_test(${t} ${CMAKE_CURRENT_LIST_DIR}/${t}.cpp LIBS korvane_host rud_testkit TIMEOUT ${_timeout})
  add_dependencies(${t} RuDerizIRA)
  # The line labels the reports must show (header-only constants of the routines).
  target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR}/src/addin ${CMAKE_SOURCE_DIR}/src/hub
                                          ${CMAKE_SOURCE_DIR}/src/pane)
  target_compile_definitions(${t} PRIVATE "RUD_TEST_DLL=L\"Z:$<TARGET_FILE:RuDerizIRA>\""
                                          "RUD_TEST_SAMPLES=L\"Z:${CMAKE_SOURCE_DIR}/samples\"")
endforeach()

# The helpers nothing of the add-in calls yet, linked from the add-in's own libraries.
rud_add_test(addin_helpers_test ${CMAKE_CURRENT_LIST_DIR}/addin_helpers_test.cpp
  LIBS rud_addin korvane_host rud_testkit)

# The README's main job: one edit through the pane in korvane-sim; the script fails unless the
# reopened file holds the new value.
# Serial: it registers the DLL in the test bed's registry, which the registration tests compare.
add_test(NAME Demo.EditThroughThePaneIsSaved COMMAND ${CMAKE_SOURCE_DIR}/scripts/demo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(Demo.EditThroughThePaneIsSaved PROPERTIES
  FIXTURES_REQUIRED winebed RUN_SERIAL TRUE TIMEOUT 120)

# The pane for keyboard users, screen readers, any display and any script.
# Serial: where the keyboard focus goes is the desktop's, and another test program's window
# taking the activation meanwhile would take this thread's focus with it.
rud_add_test(addin_pane_test ${CMAKE_CURRENT_LIST_DIR}/addin_pane_test.cpp
  LIBS korvane_host rud_testkit oleacc TIMEOUT 300 SERIAL)
add_dependencies(addin_pane_test RuDerizIRA)
target_compile_definitions(addin_pane_test PRIVATE "RUD_TEST_DLL=L\"Z:$<TARGET_FILE:RuDerizIRA>\"")
# The same layout checks in a private copy of the test bed set to 144 DPI.
add_test(NAME PaneAt144Dpi.ControlRectanglesFollowTheTwipLayout
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_at_dpi.sh ${WINEBED_DIR} 144 $<TARGET_FILE:addin_pane_test>
          --gtest_filter=PaneUser.ControlRectanglesFollowTheTwipLayoutAtTheDisplaysResolution)
set_tests_properties(PaneAt144Dpi.ControlRectanglesFollowTheTwipLayout PROPERTIES
  FIXTURES_REQUIRED winebed RUN_SERIAL TRUE TIMEOUT 180)

# Typed values in a locale whose decimal separator is the comma (the user's regional settings of a
# private copy of the test bed).
add_test(NAME PaneInACommaLocale.ATypedTextIsConvertedOnlyWhenItReadsBackExactly
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_at_dpi.sh ${WINEBED_DIR} - $<TARGET_FILE:addin_tree_test>
          --gtest_filter=PropertyEditing.ATypedTextIsConvertedOnlyWhenItReadsBackExactly)
set_tests_properties(PaneInACommaLocale.ATypedTextIsConvertedOnlyWhenItReadsBackExactly PROPERTIES
  FIXTURES_REQUIRED winebed TIMEOUT 180
  ENVIRONMENT "RUD_BED_INTERNATIONAL=sDecimal=,\\;sThousand=.\\;sMonDecimalSep=,\\;sMonThousandSep=.\\;sShortDate=dd.MM.yyyy;RUD_EXPECT_DECIMAL=,")
