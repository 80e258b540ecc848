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
    OUTPUT ${TX_MSI_FIXTURES}/tools-13.0.1.msi
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
  set_tests_properties(session PROPERTIES RESOURCE_LOCK wine_registry)
endif()
