# The host simulator's own tests, its tiny test add-in and the korvane-sim run.
# A COM add-in DLL with clean export names (a .def file and --kill-at), as regsvr32 needs.
add_library(korvane_testaddin SHARED ${CMAKE_CURRENT_LIST_DIR}/testaddin/TestAddIn.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/testaddin/TestAddIn.def)
target_link_libraries(korvane_testaddin PRIVATE rud_warnings)
target_link_libraries(korvane_testaddin PRIVATE korvane_framework ole32 oleaut32 uuid advapi32)
target_link_options(korvane_testaddin PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
set_target_properties(korvane_testaddin PROPERTIES PREFIX "" OUTPUT_NAME KorvaneTestAddIn)

rud_add_test(host_model_test ${CMAKE_CURRENT_LIST_DIR}/host_model_test.cpp LIBS korvane_host)
rud_add_test(host_com_test ${CMAKE_CURRENT_LIST_DIR}/host_com_test.cpp LIBS korvane_host)
rud_add_test(host_addin_test ${CMAKE_CURRENT_LIST_DIR}/host_addin_test.cpp LIBS korvane_host SERIAL)
rud_add_test(host_sim_test ${CMAKE_CURRENT_LIST_DIR}/host_sim_test.cpp LIBS korvane_host TIMEOUT 180)
add_dependencies(host_addin_test korvane_testaddin)
add_dependencies(host_sim_test korvane-sim korvane_testaddin)
foreach(t host_model_test host_com_test host_addin_test host_sim_test)
  target_compile_definitions(${t} PRIVATE
    "KVHOST_TEST_ADDIN=\"Z:$<TARGET_FILE:korvane_testaddin>\""
    "KVHOST_TEST_SIM=\"Z:$<TARGET_FILE:korvane-sim>\""
    "KVHOST_TEST_SAMPLES=\"Z:${CMAKE_SOURCE_DIR}/samples\""
    "KVHOST_TEST_TMP=\"Z:${CMAKE_CURRENT_BINARY_DIR}/host-tmp\"")
  target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endforeach()
# stb_image.h, to read the screenshot back.
target_compile_options(host_sim_test PRIVATE ${RUD_HOST_INCLUDE})
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host-tmp)

# Compound documents: the property-set codec on bytes, and the real documents beside the clone
# (../shared/documents, never copied into the repository).
rud_add_test(host_propset_test ${CMAKE_CURRENT_LIST_DIR}/host_propset_test.cpp LIBS korvane_host)
rud_add_test(host_documents_test ${CMAKE_CURRENT_LIST_DIR}/host_documents_test.cpp LIBS korvane_host TIMEOUT 300)
add_dependencies(host_documents_test korvane-sim)
foreach(t host_propset_test host_documents_test)
  target_compile_definitions(${t} PRIVATE
    "KVHOST_TEST_SIM=\"Z:$<TARGET_FILE:korvane-sim>\""
    "KVHOST_TEST_SAMPLES=\"Z:${CMAKE_SOURCE_DIR}/samples\""
    "KVHOST_TEST_DOCUMENTS=\"Z:${CMAKE_SOURCE_DIR}/../shared/documents\""
    "KVHOST_TEST_TMP=\"Z:${CMAKE_CURRENT_BINARY_DIR}/host-tmp\"")
  target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endforeach()
