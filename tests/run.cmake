# Tests of the command line, the main flow, message boxes and process launching.
tx_unit_test(run_pure_test run/commandLine_test.cpp)
target_link_libraries(run_pure_test PRIVATE tx_setup_pure)
add_test(NAME run_pure COMMAND run_pure_test)
