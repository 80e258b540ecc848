# The shipped arm64 image run under arm64 Wine (scripts/arm64-env): arm64 builds of the programs
# the runs need, launchers packed around the arm64 image by the x64 tree's txpack (as a release
# is packed), and the runs themselves. They need the x64 tree built first (txpack and the
# packages); scripts/test runs them after the x64 suites.
set(TX_X64_TREE ${CMAKE_SOURCE_DIR}/out/windows-x64 CACHE PATH
    "The x64 build tree whose txpack and packages the arm64 runs use")

add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(TX_ARM64_RUN ${CMAKE_BINARY_DIR}/arm64-run)
configure_file(${CMAKE_CURRENT_LIST_DIR}/arm64-run.sh.in ${TX_ARM64_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The runtime-installer stand-in with its version resource, for the payload of the sample.
set(_standin_res ${CMAKE_CURRENT_BINARY_DIR}/arm64/fakeInstaller.res)
set(_standin_obj ${CMAKE_CURRENT_BINARY_DIR}/arm64/fakeInstaller_res.obj)
add_custom_command(
  OUTPUT ${_standin_obj}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/arm64
  COMMAND x86_64-w64-mingw32-windres -i ${CMAKE_CURRENT_SOURCE_DIR}/prereq/fakeInstaller.rc -O res -o ${_standin_res}
  COMMAND llvm-cvtres /machine:arm64 /out:${_standin_obj} ${_standin_res}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/prereq/fakeInstaller.rc
  COMMENT "Compiling the stand-in's version resource for arm64")
add_executable(arm64_fake_installer prereq/fakeInstaller.cpp arm64/fakeInstallerEntry.cpp ${_standin_obj})
set_source_files_properties(${_standin_obj} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_compile_definitions(arm64_fake_installer PRIVATE UNICODE _UNICODE)
target_link_options(arm64_fake_installer PRIVATE -static)

# A test image, never shipped: the launcher with the emulation transport in place of the trap
# stubs (its objects come first on the link line and take the place of the library's), so that
# its hypervisor calls reach the host simulator, built for arm64 too.
add_executable(setup_hosted WIN32 ${CMAKE_SOURCE_DIR}/apps/install/setup/setup.cpp
               ${CMAKE_SOURCE_DIR}/apps/install/setup/entry.cpp ${CMAKE_SOURCE_DIR}/lib/rpc/backdoorEmulated.cpp
               ${TX_RESOURCE_OBJECT})
set_source_files_properties(${TX_RESOURCE_OBJECT} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
add_dependencies(setup_hosted tx_resources)
tx_windows_program(setup_hosted windows)
target_link_libraries(setup_hosted PRIVATE tx_setup_core)
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/hostsim ${CMAKE_BINARY_DIR}/tools/hostsim)

# Started by the arm64 session: it holds Wine's desktop (see the program).
add_executable(desktop_keeper desktopKeeper.cpp)
target_link_options(desktop_keeper PRIVATE -static)

# The driver: starts each launcher as its own process and reads its whole exit code.
add_executable(arm64_runs_test
  arm64/arm64Runs_test.cpp
  e2e/runSupport.cpp
  rpc/hostSimProcess.cpp
  gui/driver.cpp
  gui/screenshot.cpp
  prereq/prereqSupport.cpp
  prereq/versionResource.cpp
  session/sessionTestSupport.cpp
  unit/testSupport.cpp)
tx_target(arm64_runs_test)
target_link_libraries(arm64_runs_test PRIVATE gtest_main tx_setup_core msi gdi32)
target_link_options(arm64_runs_test PRIVATE -static)

# Packing runs on the x64 side; the launchers land in the tree, the runs read them from there.
set(_launchers ${CMAKE_BINARY_DIR}/fixtures/arm64-launchers)
add_test(NAME arm64_launchers
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/arm64/make-launchers.sh ${_launchers} ${TX_X64_TREE} $<TARGET_FILE:setup>
                 $<TARGET_FILE:arm64_fake_installer> ${TX_PRODUCT_VERSION} ${CMAKE_SOURCE_DIR}
                 $<TARGET_FILE:setup_hosted>)
set_tests_properties(arm64_launchers PROPERTIES FIXTURES_SETUP arm64_launchers LABELS arm64_wine)

set(_artifacts ${CMAKE_BINARY_DIR}/artifacts)
foreach(area Install Unpack Refusals Signatures OnScreen HostLines)
  string(TOLOWER ${area} name)
  add_test(NAME arm64_${name}
           COMMAND ${TX_ARM64_RUN} $<TARGET_FILE:arm64_runs_test> ${TX_X64_TREE}/fixtures/msi $<TARGET_FILE:setup>
                   ${_launchers} ${_artifacts} $<TARGET_FILE:hostsim> --gtest_filter=Arm64${area}.*)
  # One prefix and one Windows Installer for all of them.
  set_tests_properties(arm64_${name} PROPERTIES FIXTURES_REQUIRED arm64_launchers RESOURCE_LOCK arm64_wine
                                                LABELS arm64_wine TIMEOUT 300)
endforeach()
