# Fault injection and security checks, end to end under Wine: packed launchers run against a
# filling disk, cut containers, locked and unwritable folders, planted links, files and DLLs,
# a second instance and a runtime installer that never ends. Windows build only.
if(NOT TX_WINDOWS)
  return()
endif()

# The canary DLL and the control program of the planting test.
add_library(tx_fault_canary SHARED faults/canaryDll.cpp)
tx_target(tx_fault_canary)
set_target_properties(tx_fault_canary PROPERTIES PREFIX "" OUTPUT_NAME canary)
target_link_options(tx_fault_canary PRIVATE -static)
add_executable(tx_fault_loader faults/naiveLoader.cpp)
target_link_options(tx_fault_loader PRIVATE -static -municode)

# Launchers packed from the sample configuration with the stand-in runtime installer (which can
# be told to hang): a small one, one with 3 MiB more payload than the small file system of the
# fixtures holds, the small one signed after packing, as a release is, and the small one of
# another product. For cutting, the sample's own launcher (its tiny runtime stand-in), so that
# the cuts stay few.
set(_fault_launchers ${CMAKE_BINARY_DIR}/fixtures/faults-launchers)
set(_fault_runtime ${CMAKE_BINARY_DIR}/prereq-payload/vcredist_arm64.exe)
set(_fault_msi "${CMAKE_BINARY_DIR}/samples/Tessix Tools.msi")
set(_fault_config ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg)
# Another product: the sample's configuration with a product code of its own (around the sample's
# package, whose code txpack would refuse in a release).
file(READ ${_fault_config} _fault_shipped)
string(REGEX REPLACE "PRODUCTCODE=[^\n]*" "PRODUCTCODE={2B7D4E19-6C3A-4F58-A1E2-9D0C8B7A6F54}" _fault_other
       "${_fault_shipped}")
file(WRITE ${CMAKE_BINARY_DIR}/fixtures/faults-other.cfg "${_fault_other}")
tx_pack_command(_pack_small CONFIG ${_fault_config} PAYLOAD ${_fault_msi} ${_fault_runtime}
                OUTPUT ${_fault_launchers}/small.exe)
tx_pack_command(_pack_big CONFIG ${_fault_config} PAYLOAD ${_fault_msi} ${_fault_runtime} ${_fault_launchers}/filler.bin
                OUTPUT ${_fault_launchers}/big.exe)
tx_pack_command(_pack_other CONFIG ${CMAKE_BINARY_DIR}/fixtures/faults-other.cfg PAYLOAD ${_fault_msi} ${_fault_runtime}
                OPTIONS --allow-refused-config OUTPUT ${_fault_launchers}/other.exe)
tx_pack_command(_pack_cut CONFIG ${_fault_config} PAYLOAD ${_fault_msi} $<TARGET_FILE:tx_sample_vcredist>
                OUTPUT ${_fault_launchers}/cut.exe)
add_custom_command(
  OUTPUT ${_fault_launchers}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_fault_launchers}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_fault_launchers}
  COMMAND sh -c "head -c 3145728 /dev/zero >${_fault_launchers}/filler.bin"
  COMMAND ${_pack_small}
  COMMAND ${_pack_big}
  COMMAND ${_pack_other}
  COMMAND ${_pack_cut}
  COMMAND ${CMAKE_COMMAND} -E copy ${_fault_launchers}/small.exe ${_fault_launchers}/signed.exe
  COMMAND sh -c "${CMAKE_SOURCE_DIR}/scripts/sign-release make-cert ${_fault_launchers}/cert >/dev/null"
  COMMAND sh -c "${CMAKE_SOURCE_DIR}/scripts/sign-release sign ${_fault_launchers}/cert ${_fault_launchers}/signed.exe >/dev/null"
  COMMAND ${CMAKE_COMMAND} -E touch ${_fault_launchers}/stamp
  DEPENDS setup txpack fake_installer tx_sample_msi tx_sample_vcredist ${CMAKE_SOURCE_DIR}/samples/tessix-tools.cfg
          ${CMAKE_SOURCE_DIR}/scripts/sign-release
  COMMENT "Packing the fault-test launchers"
  VERBATIM)
add_custom_target(tx_fault_launchers DEPENDS ${_fault_launchers}/stamp)

tx_unit_test(faults_test faults/faults_test.cpp faults/security_test.cpp e2e/runSupport.cpp rpc/hostSimProcess.cpp
             unit/testSupport.cpp)
target_link_libraries(faults_test PRIVATE tx_install msi)
add_dependencies(faults_test tx_fault_launchers tx_fault_canary tx_fault_loader hostsim)

# Mounts and links of the fixtures, made before the tests and unmounted after them.
set(_fault_fixtures ${CMAKE_BINARY_DIR}/fixtures/faults)
add_test(NAME faults_fixtures_up COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/faults/makeFixtures.sh up ${_fault_fixtures})
add_test(NAME faults_fixtures_down COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/faults/makeFixtures.sh down ${_fault_fixtures})
set_tests_properties(faults_fixtures_up PROPERTIES FIXTURES_SETUP faults_mounts TIMEOUT 60)
set_tests_properties(faults_fixtures_down PROPERTIES FIXTURES_CLEANUP faults_mounts TIMEOUT 60)

set(_fault_args ${_fault_launchers}/small.exe ${_fault_launchers}/big.exe ${_fault_launchers}/signed.exe
                ${_fault_fixtures} $<TARGET_FILE:tx_fault_canary> $<TARGET_FILE:tx_fault_loader>
                ${_fault_msi} ${_fault_runtime} ${_fault_launchers}/cut.exe ${_fault_launchers}/other.exe
                $<TARGET_FILE:hostsim>)
# Cut containers and second instances end before the installer runs; the others install the
# sample product (and may unpack to C:\TessixTemp) and take turns with the tests that do.
add_test(NAME faults_container COMMAND faults_test ${_fault_args} --gtest_filter=Container.*)
add_test(NAME faults_instances COMMAND faults_test ${_fault_args} --gtest_filter=Instances.*)
add_test(NAME faults_folders COMMAND faults_test ${_fault_args} --gtest_filter=Folders.*)
# A disk that fills and a read-only temporary folder need mounts; without the right to mount
# they are reported as skipped.
add_test(NAME faults_mounted COMMAND faults_test ${_fault_args} --gtest_filter=Mounted.*)
add_test(NAME faults_security COMMAND faults_test ${_fault_args} --gtest_filter=Planting.*:Signed.*:TempPath.*)
# Runs that reach the runtime stage stop the tools' processes if any run: they take turns with
# the tests that start them. And every run deletes the host-logging key at its end, which the
# host-line tests need to last through a run of their own.
set_tests_properties(faults_container faults_instances PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_registry)
set_tests_properties(faults_folders faults_mounted faults_security PROPERTIES TIMEOUT 300
                     RESOURCE_LOCK "wine_registry;wine_installer;tessix_temp")
set_tests_properties(faults_folders faults_mounted PROPERTIES FIXTURES_REQUIRED faults_mounts)
set_tests_properties(faults_mounted PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
