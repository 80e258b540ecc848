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
  set_tests_properties(launch PROPERTIES TIMEOUT 120)
  add_test(NAME message_boxes COMMAND run_test $<TARGET_FILE:setup> --gtest_filter=MessageBoxes.*)
endif()

# The main flow end to end, through the packed sample launcher and variants of its
# configuration that the run must refuse.
if(TX_WINDOWS)
  set(_flow ${CMAKE_BINARY_DIR}/fixtures/flow)
  file(READ ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg _shipped)
  set(_printer_code "{3F9D6B2A-1C4E-4A7B-8D5F-6E7A8B9C0D21}") # a virtual printer product
  string(REGEX REPLACE "UPGRADECODE=[^\n]*" "UPGRADECODE=${_printer_code}" _printer "${_shipped}")
  string(REGEX REPLACE "MINORUPGRADE=[^\n]*\n" "" _printer_standard "${_printer}")
  string(REGEX REPLACE "PRODUCTNAME=[^\n]*\n" "" _unnamed "${_shipped}")
  string(REGEX REPLACE "PRODUCTCODE=[^\n]*" "PRODUCTCODE=..\\\\..\\\\Windows" _badcode "${_shipped}")
  file(WRITE ${_flow}/printer.cfg "${_printer}")
  file(WRITE ${_flow}/printer-standard.cfg "${_printer_standard}")
  file(WRITE ${_flow}/unnamed.cfg "${_unnamed}")
  file(WRITE ${_flow}/badcode.cfg "${_badcode}")

  set(_flow_payload "${CMAKE_BINARY_DIR}/samples/Tessix Tools.msi" $<TARGET_FILE:tx_sample_vcredist>)
  set(_flow_commands)
  foreach(variant printer printer-standard unnamed badcode nopayload)
    set(config ${_flow}/${variant}.cfg)
    set(payload ${_flow_payload})
    set(options)
    if(variant STREQUAL "nopayload")
      set(config ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg)
      set(payload)
    elseif(variant STREQUAL "unnamed" OR variant STREQUAL "badcode" OR variant MATCHES "^printer")
      # The launcher's own refusal is under test (the printer's upgrade code is not the package's).
      set(options --allow-refused-config)
    endif()
    tx_pack_command(pack CONFIG ${config} PAYLOAD ${payload} OPTIONS ${options} OUTPUT ${_flow}/${variant}/setup.exe)
    list(APPEND _flow_commands
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_flow}/${variant}
      COMMAND ${pack})
  endforeach()
  add_custom_target(tx_flow_launchers ${_flow_commands}
    DEPENDS setup txpack tx_sample_msi tx_sample_vcredist
    COMMENT "Packing the main-flow test launchers"
    VERBATIM)

  tx_unit_test(main_flow_test e2e/mainFlow_test.cpp e2e/runSupport.cpp gui/driver.cpp gui/screenshot.cpp rpc/hostSimProcess.cpp
               unit/testSupport.cpp)
  target_link_libraries(main_flow_test PRIVATE tx_install msi gdi32)
  add_dependencies(main_flow_test tx_sample_launcher tx_flow_launchers hostsim)
  add_test(NAME main_flow COMMAND main_flow_test ${CMAKE_BINARY_DIR}/samples/packed/setup.exe ${_flow}
                                                 $<TARGET_FILE:hostsim> "${CMAKE_BINARY_DIR}/samples/Tessix Tools.msi"
                                                 $<TARGET_FILE:tx_sample_vcredist>)
  set_tests_properties(main_flow PROPERTIES RESOURCE_LOCK "wine_installer;wine_registry" TIMEOUT 300)
endif()
