# Tests of the hypervisor channel. Included for every preset; TX_WINDOWS tells the Windows build.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/hostsim ${CMAKE_BINARY_DIR}/tools/hostsim)

# The protocol against the in-process simulated host: natively and under Wine.
tx_unit_test(rpc_core_test
  rpc/backdoorWire_test.cpp
  rpc/msgChannel_test.cpp
  rpc/rpcOut_test.cpp
  rpc/guestLogText_test.cpp
  rpc/simDoor.cpp)
target_link_libraries(rpc_core_test PRIVATE tx_hostsim_core)
add_test(NAME rpc_core COMMAND rpc_core_test)

if(NOT TX_WINDOWS)
  return()
endif()

# The emulation transport, the virtual environment check, host lines and the logger's
# forwarding, against a simulated host on a pipe in the test's own process.
tx_unit_test(rpc_host_test rpc/hypervisor_test.cpp unit/testSupport.cpp)
target_link_libraries(rpc_host_test PRIVATE tx_install tx_hostsim_server)
add_test(NAME rpc_host COMMAND rpc_host_test)
set_tests_properties(rpc_host PROPERTIES RESOURCE_LOCK wine_registry)

# The launcher run as a user runs it, with the hostsim program as its host.
tx_unit_test(rpc_setup_test rpc/setupHostLines_test.cpp rpc/hostSimProcess.cpp unit/testSupport.cpp)
target_link_libraries(rpc_setup_test PRIVATE tx_install)
add_dependencies(rpc_setup_test setup hostsim)
add_test(NAME rpc_setup COMMAND rpc_setup_test $<TARGET_FILE:setup> $<TARGET_FILE:hostsim>)
set_tests_properties(rpc_setup PROPERTIES RESOURCE_LOCK wine_registry)
