# The test kit other tests reuse (message boxes, debug output), and the support library's tests.
add_library(rud_testkit STATIC ${CMAKE_CURRENT_LIST_DIR}/testkit/MessageBoxCapture.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/testkit/KeyDriver.cpp)
target_include_directories(rud_testkit PUBLIC ${CMAKE_CURRENT_LIST_DIR}/testkit)
target_link_libraries(rud_testkit PRIVATE rud_warnings)
target_link_libraries(rud_testkit PUBLIC korvane_capture user32)

# A program that records the command line and show command it was started with.
add_executable(support_cmdline_probe ${CMAKE_CURRENT_LIST_DIR}/testkit/CmdLineProbe.cpp)
target_link_libraries(support_cmdline_probe PRIVATE rud_warnings)
target_link_options(support_cmdline_probe PRIVATE -municode -mwindows)

rud_add_test(support_test
  ${CMAKE_CURRENT_LIST_DIR}/support_report_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_trace_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_message_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_keys_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_filemanager_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_latebound_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_capture_test.cpp
  LIBS rud_support rud_testkit)
add_dependencies(support_test support_cmdline_probe)
