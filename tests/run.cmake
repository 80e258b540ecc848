# Tests of the command line, the main flow, message boxes and process launching.
tx_unit_test(run_pure_test run/commandLine_test.cpp run/pickButton_test.cpp)
target_link_libraries(run_pure_test PRIVATE tx_setup_pure)
add_test(NAME run_pure COMMAND run_pure_test)

if(TX_WINDOWS)
  add_executable(child_program run/childProgram.cpp)
  target_link_options(child_program PRIVATE -static -municode)

  tx_unit_test(run_test run/launch_test.cpp run/messageBox_test.cpp unit/testSupport.cpp)
  target_link_libraries(run_test PRIVATE tx_setup_core)
  add_dependencies(run_test setup child_program)
  add_test(NAME launch COMMAND run_test $<TARGET_FILE:child_program> --gtest_filter=Launch.*)
  add_test(NAME message_boxes COMMAND run_test $<TARGET_FILE:setup> --gtest_filter=MessageBoxes.*)
endif()

# The main flow end to end, through the packed sample launcher.
if(TX_WINDOWS)
  tx_unit_test(main_flow_test e2e/mainFlow_test.cpp e2e/runSupport.cpp unit/testSupport.cpp)
  target_link_libraries(main_flow_test PRIVATE tx_install msi)
  add_dependencies(main_flow_test tx_sample_launcher)
  add_test(NAME main_flow COMMAND main_flow_test ${CMAKE_BINARY_DIR}/samples/packed/setup.exe)
  set_tests_properties(main_flow PROPERTIES RESOURCE_LOCK wine_installer TIMEOUT 900)
endif()
