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
    DEPENDS setup signatures/make-fixtures.sh signatures/common.sh signatures/package.wxs ${CMAKE_SOURCE_DIR}/scripts/sign-release
    COMMENT "Signing test launchers and packages")
  add_custom_target(signature_fixtures DEPENDS ${_signature_fixtures}/stamp)

  tx_unit_test(signature_test signatures/signature_test.cpp gui/driver.cpp gui/screenshot.cpp unit/testSupport.cpp)
  target_link_libraries(signature_test PRIVATE tx_setup_core crypt32)
  add_dependencies(signature_test signature_fixtures)
  add_test(NAME signatures COMMAND signature_test ${_signature_fixtures} $<TARGET_FILE:setup>)
endif()

if(TX_WINDOWS)
  # The check end to end: packed launchers around the session's test package, signed in the
  # release order (package, pack, launcher) with test certificates made at build time.
  set(_signed_launchers ${CMAKE_BINARY_DIR}/fixtures/signed-launchers)
  add_custom_command(
    OUTPUT ${_signed_launchers}/stamp
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/signatures/make-packed.sh ${_signed_launchers} ${CMAKE_BINARY_DIR}/wine-run
            $<TARGET_FILE:txpack> $<TARGET_FILE:setup> ${TX_MSI_FIXTURES}/tools-13.0.1.msi ${TX_PRODUCT_VERSION}
            ${CMAKE_CURRENT_SOURCE_DIR}/signatures
    DEPENDS setup txpack session_fixtures signatures/make-packed.sh signatures/common.sh signatures/standard.cfg
            ${CMAKE_SOURCE_DIR}/tests/fixtures/msi/tools.cfg ${CMAKE_SOURCE_DIR}/scripts/sign-release
    COMMENT "Packing and signing the signature test launchers")
  add_custom_target(signed_launchers DEPENDS ${_signed_launchers}/stamp)

  tx_unit_test(signature_e2e_test signatures/packedSignature_test.cpp session/sessionTestSupport.cpp
               e2e/runSupport.cpp gui/driver.cpp gui/screenshot.cpp unit/testSupport.cpp)
  target_link_libraries(signature_e2e_test PRIVATE tx_setup_core msi gdi32)
  add_dependencies(signature_e2e_test signed_launchers)
  add_test(NAME signatures_e2e COMMAND signature_e2e_test ${TX_MSI_FIXTURES} $<TARGET_FILE:setup> ${_signed_launchers}
                                       ${CMAKE_BINARY_DIR}/artifacts)
  set_tests_properties(signatures_e2e PROPERTIES RESOURCE_LOCK "wine_registry;wine_installer" TIMEOUT 300)

  # sign-release verify with the built programs alone (a copy of the script, txpack.exe, Wine).
  add_test(NAME signatures_release_verify
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/signatures/signRelease_test.sh ${CMAKE_BINARY_DIR}/release-verify
                   ${_signed_launchers} $<TARGET_FILE:txpack> ${CMAKE_BINARY_DIR}/wineprefix)
  set_tests_properties(signatures_release_verify PROPERTIES TIMEOUT 300)
endif()
