# Tests of the package signature check. Included for every preset; TX_WINDOWS tells the Windows build.
tx_unit_test(signature_rules_test signatures/signatureRules_test.cpp)
target_link_libraries(signature_rules_test PRIVATE tx_setup_pure)
add_test(NAME signature_rules COMMAND signature_rules_test)

if(TX_WINDOWS)
  # Launchers and packages signed with two test certificates made at build time (never a key in
  # the repository), by the release signing script itself.
  set(_signature_fixtures ${CMAKE_BINARY_DIR}/fixtures/signatures)
  add_custom_command(
    OUTPUT ${_signature_fixtures}/stamp
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/signatures/make-fixtures.sh ${_signature_fixtures} $<TARGET_FILE:setup>
            ${CMAKE_CURRENT_SOURCE_DIR}/signatures
    DEPENDS setup signatures/make-fixtures.sh signatures/package.wxs ${CMAKE_SOURCE_DIR}/scripts/sign-release
    COMMENT "Signing test launchers and packages")
  add_custom_target(signature_fixtures DEPENDS ${_signature_fixtures}/stamp)

  tx_unit_test(signature_test signatures/signature_test.cpp gui/driver.cpp gui/screenshot.cpp unit/testSupport.cpp)
  target_link_libraries(signature_test PRIVATE tx_setup_core crypt32)
  add_dependencies(signature_test signature_fixtures)
  add_test(NAME signatures COMMAND signature_test ${_signature_fixtures} $<TARGET_FILE:setup>)
endif()
