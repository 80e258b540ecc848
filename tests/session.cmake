# Tests of the Windows Installer session and restart handling. Included for every preset;
# TX_WINDOWS tells the Windows build.

# Decisions without a system call: natively and under Wine.
tx_unit_test(session_pure_test session/sessionRules_test.cpp)
target_link_libraries(session_pure_test PRIVATE tx_setup_pure)
add_test(NAME session_pure COMMAND session_pure_test)

if(TX_WINDOWS)
  # Real packages, built with wixl at build time, installed by Wine's Windows Installer.
  set(TX_MSI_FIXTURES ${CMAKE_BINARY_DIR}/fixtures/msi)
  file(GLOB TX_MSI_FIXTURE_SOURCES ${CMAKE_SOURCE_DIR}/tests/fixtures/msi/*)
  add_custom_command(
    OUTPUT ${TX_MSI_FIXTURES}/tools-13.0.1.msi ${TX_MSI_FIXTURES}/payload-tools-13.0.1/tools.msi
    COMMAND ${CMAKE_SOURCE_DIR}/tests/fixtures/msi/build.sh ${TX_MSI_FIXTURES}
    DEPENDS ${TX_MSI_FIXTURE_SOURCES}
    COMMENT "Building the Windows Installer test packages")
  add_custom_target(session_fixtures DEPENDS ${TX_MSI_FIXTURES}/tools-13.0.1.msi)

  tx_unit_test(session_test
    session/msiSession_test.cpp
    session/msiUtil_test.cpp
    session/rebootUtil_test.cpp
    session/reboot_test.cpp
    session/sessionTestSupport.cpp
    unit/testSupport.cpp)
  target_link_libraries(session_test PRIVATE tx_setup_core msi)
  add_dependencies(session_test session_fixtures setup)
  add_test(NAME session COMMAND session_test ${TX_MSI_FIXTURES} $<TARGET_FILE:setup>)
  # Installs products, writes RunOnce and the restart list: one at a time with the other
  # registry users.
  set_tests_properties(session PROPERTIES RESOURCE_LOCK "wine_registry;wine_installer")

  # The same packages inside packed launchers, run as a deployment tool runs them.
  set(TX_SESSION_PACKED ${CMAKE_BINARY_DIR}/fixtures/session-packed)
  set(session_launchers)
  foreach(launcher tools-13.0.0:tools:tools-13.0.0 tools-13.0.1:tools:tools-13.0.1 failing:tools:failing
                   standard:standard:tools-13.0.1 minorupgrade-0:minorupgrade-0:tools-13.0.1
                   no-minorupgrade:no-minorupgrade:tools-13.0.1
                   minorupgrade-0-oldcodes:minorupgrade-0-oldcodes:tools-13.0.1)
    string(REPLACE ":" ";" parts ${launcher})
    list(GET parts 0 name)
    list(GET parts 1 config)
    list(GET parts 2 payload)
    set(image ${TX_SESSION_PACKED}/${name}/setup.exe)
    tx_pack_command(pack CONFIG ${CMAKE_SOURCE_DIR}/tests/fixtures/msi/${config}.cfg
                    PAYLOAD ${TX_MSI_FIXTURES}/payload-${payload}/tools.msi OUTPUT ${image})
    add_custom_command(
      OUTPUT ${image}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TX_SESSION_PACKED}/${name}
      COMMAND ${pack}
      DEPENDS setup txpack ${TX_MSI_FIXTURES}/tools-13.0.1.msi ${CMAKE_SOURCE_DIR}/tests/fixtures/msi/${config}.cfg
      COMMENT "Packing the session test launcher ${name}"
      VERBATIM)
    list(APPEND session_launchers ${image})
  endforeach()
  add_custom_target(session_launchers DEPENDS ${session_launchers})

  tx_unit_test(session_e2e_test session/packedSession_test.cpp session/sessionTestSupport.cpp e2e/runSupport.cpp
               unit/testSupport.cpp)
  target_link_libraries(session_e2e_test PRIVATE tx_setup_core msi)
  add_dependencies(session_e2e_test session_launchers)
  add_test(NAME session_e2e COMMAND session_e2e_test ${TX_MSI_FIXTURES} $<TARGET_FILE:setup> ${TX_SESSION_PACKED})
  set_tests_properties(session_e2e PROPERTIES RESOURCE_LOCK "wine_registry;wine_installer" TIMEOUT 300)
endif()
