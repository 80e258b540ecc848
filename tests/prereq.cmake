# Tests of the engine gate, the VC runtime stage, services and the version report. Included for every preset; TX_WINDOWS tells the Windows build.
tx_unit_test(prereq_pure_test prereq/prereqRules_test.cpp)
target_link_libraries(prereq_pure_test PRIVATE tx_setup_pure)
add_test(NAME prereq_pure COMMAND prereq_pure_test)

if(TX_WINDOWS)
  # A resource script compiled straight to an object for a test program.
  function(tx_prereq_resource out rc)
    set(obj ${CMAKE_CURRENT_BINARY_DIR}/prereq/${out}.o)
    add_custom_command(OUTPUT ${obj}
      COMMAND ${CMAKE_RC_COMPILER} -I ${CMAKE_CURRENT_SOURCE_DIR}/prereq -i ${CMAKE_CURRENT_SOURCE_DIR}/prereq/${rc} -o ${obj}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/prereq/${rc} ${ARGN}
      COMMENT "Compiling ${rc}")
    set(${out} ${obj} PARENT_SCOPE)
  endfunction()
  tx_prereq_resource(fake_installer_res fakeInstaller.rc)
  tx_prereq_resource(windows11_res windows11.rc ${CMAKE_CURRENT_SOURCE_DIR}/prereq/windows11.manifest)

  # Stand-ins: a VC runtime installer or engine upgrader, and the tools' "txtoolsd.exe".
  add_executable(fake_installer prereq/fakeInstaller.cpp ${fake_installer_res})
  target_link_options(fake_installer PRIVATE -static -municode)
  add_executable(tx_tools_standin prereq/txtoolsdStandIn.cpp)
  set_target_properties(tx_tools_standin PROPERTIES OUTPUT_NAME txtoolsd RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/tools)
  target_link_options(tx_tools_standin PRIVATE -static -municode)

  # The runtime step in a process of its own (no manifest, GUI like the launcher).
  add_executable(stage_host prereq/stageHost.cpp)
  tx_windows_program(stage_host windows)
  target_link_libraries(stage_host PRIVATE tx_setup_core)

  tx_unit_test(prereq_test
    prereq/services_test.cpp
    prereq/processes_test.cpp
    prereq/runtimeStage_test.cpp
    prereq/versionReport_test.cpp
    prereq/prereqSupport.cpp
    prereq/versionResource.cpp
    unit/testSupport.cpp
    ${windows11_res})
  target_link_libraries(prereq_test PRIVATE tx_setup_core)
  add_dependencies(prereq_test setup fake_installer tx_tools_standin stage_host)
  set(_prereq_args $<TARGET_FILE:fake_installer> $<TARGET_FILE:tx_tools_standin> $<TARGET_FILE:stage_host>
                   $<TARGET_FILE:setup>)
  foreach(area Services ServiceWait Processes PrereqStage VersionReport)
    add_test(NAME prereq_${area} COMMAND prereq_test ${_prereq_args} --gtest_filter=${area}.*)
    # They share the stand-ins' service, process and registry values, and the log level.
    set_tests_properties(prereq_${area} PROPERTIES RESOURCE_LOCK wine_registry)
  endforeach()

  # Packed launchers: the sample's configuration and package with the stand-in installer as the
  # VC runtime (and, in a copy whose minimum engine is 5.0, as the engine upgrader).
  set(_payload ${CMAKE_BINARY_DIR}/prereq-payload)
  set(_packed ${CMAKE_BINARY_DIR}/prereq-packed)
  file(MAKE_DIRECTORY ${_payload} ${_packed}/tools ${_packed}/engine)
  add_custom_command(TARGET fake_installer POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${_payload}/vcredist_arm64.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${_payload}/instmsiw.exe)
  file(READ ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg _cfg)
  string(REPLACE "MINIMUM_NT_MSI=300" "MINIMUM_NT_MSI=500" _cfg "${_cfg}")
  file(WRITE ${_packed}/engine.cfg "${_cfg}INSTMSIW=instmsiw.exe\n")
  tx_pack_command(_pack_tools CONFIG ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg OUTPUT ${_packed}/tools/setup.exe
                  PAYLOAD "${CMAKE_BINARY_DIR}/samples/Tessix Tools.msi" ${_payload}/vcredist_arm64.exe)
  tx_pack_command(_pack_engine CONFIG ${_packed}/engine.cfg OUTPUT ${_packed}/engine/setup.exe
                  PAYLOAD "${CMAKE_BINARY_DIR}/samples/Tessix Tools.msi" ${_payload}/vcredist_arm64.exe
                          ${_payload}/instmsiw.exe)
  add_test(NAME prereq_pack_tools COMMAND ${_pack_tools})
  add_test(NAME prereq_pack_engine COMMAND ${_pack_engine})
  set_tests_properties(prereq_pack_tools prereq_pack_engine PROPERTIES FIXTURES_SETUP prereq_packed)

  tx_unit_test(prereq_e2e_test
    prereq/packedRuns_test.cpp
    prereq/prereqSupport.cpp
    prereq/versionResource.cpp
    e2e/runSupport.cpp
    unit/testSupport.cpp)
  target_link_libraries(prereq_e2e_test PRIVATE tx_setup_core msi)
  add_dependencies(prereq_e2e_test setup txpack fake_installer tx_tools_standin tx_sample_msi)
  add_test(NAME prereq_packed_runs COMMAND prereq_e2e_test ${_prereq_args} ${_packed}/tools/setup.exe
                                           ${_packed}/engine/setup.exe)
  set_tests_properties(prereq_packed_runs PROPERTIES FIXTURES_REQUIRED prereq_packed
                       RESOURCE_LOCK "wine_registry;wine_installer" TIMEOUT 300)
endif()
