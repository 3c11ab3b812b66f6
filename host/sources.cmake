# korvane_host: the host's object model, windows and add-in loading as a library (tests link it);
# korvane-sim: the program around it.
add_library(korvane_host STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Recorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocumentModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostWindows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TypeLibrary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Screenshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UiDriver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Script.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Watchers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultMatrix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fuzz.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddInList.cpp)
target_include_directories(korvane_host PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/src/support)
target_compile_options(korvane_host PRIVATE ${RUD_WARNINGS} ${RUD_HOST_INCLUDE})
# The host's type library as the build made it, for RegisterHostTypeLibrary.
target_compile_definitions(korvane_host PRIVATE "KVHOST_TLB_PATH=\"Z:${IDL_OUT_DIR}/KorvaneFramework.tlb\"")
target_link_libraries(korvane_host PUBLIC korvane_framework ole32 oleaut32 uuid user32 gdi32 comctl32 advapi32)

add_executable(korvane-sim ${CMAKE_CURRENT_LIST_DIR}/sim/Main.cpp ${CMAKE_CURRENT_LIST_DIR}/sim/Tools.cpp)
target_compile_options(korvane-sim PRIVATE ${RUD_WARNINGS})
target_link_libraries(korvane-sim PRIVATE korvane_host)
if(TARGET korvane_capture)
  target_link_libraries(korvane-sim PRIVATE korvane_capture)
  target_compile_definitions(korvane-sim PRIVATE KVHOST_WITH_CAPTURE=1)
endif()
target_link_options(korvane-sim PRIVATE -municode)
set_target_properties(korvane-sim PROPERTIES OUTPUT_NAME korvane-sim)
# The host's type library beside the program, where RegisterHostTypeLibrary looks first.
add_custom_command(TARGET korvane-sim POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${IDL_OUT_DIR}/KorvaneFramework.tlb $<TARGET_FILE_DIR:korvane-sim>/)
