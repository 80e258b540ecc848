# Tests of the configuration, resource editor, packer, payload. Included for every preset; TX_WINDOWS tells the Windows build.
if(NOT TX_WINDOWS)
  # The Windows builds add these from the top level; here only their pure parts are built.
  add_subdirectory(${CMAKE_SOURCE_DIR}/resedit ${CMAKE_BINARY_DIR}/resedit)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/txpack ${CMAKE_BINARY_DIR}/tools/txpack)
endif()

# Value rules, language choice, container table, room, version text, txpack's input: natively
# and under Wine.
tx_unit_test(package_pure_test
  package/configValues_test.cpp
  package/payloadFormat_test.cpp
  package/payloadDigest_test.cpp
  package/payloadRoom_test.cpp
  package/versionText_test.cpp
  package/packInput_test.cpp
  package/versionInfo_test.cpp
  package/configCheck_test.cpp)
target_link_libraries(package_pure_test PRIVATE tx_setup_pure tx_resedit_pure tx_txpack_input)
# The launcher's sources, where the check's key table is compared with the keys the launcher reads.
target_compile_definitions(package_pure_test PRIVATE TX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME package_pure COMMAND package_pure_test)

if(NOT TX_WINDOWS)
  return()
endif()

# Fixtures: a planted link and a drive T: on another file system (see makeFixtures.sh), and two
# launchers packed from the sample with the same inputs.
set(fixtures ${CMAKE_BINARY_DIR}/package-fixtures)
string(MD5 tree_id ${CMAKE_BINARY_DIR})
string(SUBSTRING ${tree_id} 0 12 tree_id)
add_test(NAME package_fixtures
  COMMAND ${CMAKE_SOURCE_DIR}/tests/package/makeFixtures.sh ${fixtures} ${CMAKE_BINARY_DIR}/wineprefix /dev/shm/txpkg-${tree_id})
set_tests_properties(package_fixtures PROPERTIES FIXTURES_SETUP package_fixtures)

# The release scripts (signing with a test certificate, the Wine prefix) on their own.
add_test(NAME package_release_scripts COMMAND ${CMAKE_SOURCE_DIR}/tests/package/releaseScripts_test.sh
                                              ${CMAKE_BINARY_DIR}/release-scripts $<TARGET_FILE:setup>)

set(packed ${CMAKE_BINARY_DIR}/package-packed)
foreach(copy a b)
  file(MAKE_DIRECTORY ${packed}/${copy})
  tx_sample_pack_command(pack $<TARGET_FILE:setup> ${packed}/${copy}/setup.exe)
  add_test(NAME package_pack_${copy} COMMAND ${pack})
  set_tests_properties(package_pack_${copy} PROPERTIES FIXTURES_SETUP package_packed)
endforeach()

tx_unit_test(package_test
  package/config_test.cpp
  package/resourceEdit_test.cpp
  package/payload_test.cpp
  package/extractionFolder_test.cpp
  package/packedLauncher_test.cpp
  package/txpack_test.cpp
  package/packageSupport.cpp
  unit/testSupport.cpp)
target_link_libraries(package_test PRIVATE tx_setup_core tx_resedit_tool tx_txpack_input version msi)
add_dependencies(package_test setup txpack tx_sample_msi tx_sample_vcredist)
set(package_args $<TARGET_FILE:setup> ${fixtures} $<TARGET_FILE:txpack> ${CMAKE_BINARY_DIR}/samples
                 ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg ${packed})
foreach(area Configuration ResourceEdit Payload ExtractionFolder PackedLauncher Txpack)
  string(TOLOWER ${area} name)
  add_test(NAME package_${name} COMMAND package_test ${package_args} --gtest_filter=${area}.*)
endforeach()
set_tests_properties(package_extractionfolder PROPERTIES FIXTURES_REQUIRED package_fixtures RESOURCE_LOCK tessix_temp)
set_tests_properties(package_packedlauncher PROPERTIES FIXTURES_REQUIRED package_packed RESOURCE_LOCK tessix_temp)

# The arm64 image, packed by this tree's txpack and read here (see samples/CMakeLists.txt).
if(TX_ARM64_SETUP)
  file(MAKE_DIRECTORY ${packed}/arm64)
  tx_sample_pack_command(pack ${TX_ARM64_SETUP} ${packed}/arm64/setup.exe)
  add_test(NAME package_pack_arm64 COMMAND ${pack})
  set_tests_properties(package_pack_arm64 PROPERTIES FIXTURES_SETUP package_packed_arm64)
  add_test(NAME package_packedlauncher_arm64
           COMMAND package_test ${package_args} arm64 --gtest_filter=PackedLauncher.*:-*SameInputs*)
  set_tests_properties(package_packedlauncher_arm64 PROPERTIES FIXTURES_REQUIRED package_packed_arm64
                                                              RESOURCE_LOCK tessix_temp)
  add_test(NAME package_arm64_exports COMMAND ${CMAKE_SOURCE_DIR}/resedit/checkExports.sh ${packed}/arm64/setup.exe)
  set_tests_properties(package_arm64_exports PROPERTIES FIXTURES_REQUIRED package_packed_arm64)
endif()
