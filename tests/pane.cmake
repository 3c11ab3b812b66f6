# Tests of the pane: window hosting, the layout arithmetic, the form layer and its tree, frmBar
# (its documents reached through the hub's access, as in the add-in).
rud_add_test(pane_test
  ${CMAKE_CURRENT_LIST_DIR}/pane_window_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_layout_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_controls_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_frmbar_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_tree_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_keys_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_resources_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_requests_test.cpp
  LIBS rud_pane rud_hub rud_support rud_testkit TIMEOUT 120)
# The server-request counter of the benchmarks, for the guard of the pane's cost per property.
target_include_directories(pane_test PRIVATE ${CMAKE_SOURCE_DIR}/bench)
