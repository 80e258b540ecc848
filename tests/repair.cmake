# Tests of repair mode. Included for every preset; TX_WINDOWS tells the Windows build.
tx_unit_test(repair_pure_test repair/repairRules_test.cpp)
target_link_libraries(repair_pure_test PRIVATE tx_setup_pure)
add_test(NAME repair_pure COMMAND repair_pure_test)

if(NOT TX_WINDOWS)
  return()
endif()

# Test packages: the two desktop products and an unrelated one, each with three components.
# repair_test.cpp lists the same codes.
set(TX_REPAIR_FIXTURES ${CMAKE_SOURCE_DIR}/tests/fixtures/repair)
set(TX_REPAIR_PACKAGES ${CMAKE_BINARY_DIR}/fixtures/repair)
function(tx_repair_package name productCode upgradeCode title folder componentPrefix)
  add_custom_command(OUTPUT ${TX_REPAIR_PACKAGES}/${name}.msi
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TX_REPAIR_PACKAGES}
    COMMAND wixl -a x64 -D ProductCode=${productCode} -D UpgradeCode=${upgradeCode} -D "Name=${title}"
            -D Folder=${folder} -D Component1={${componentPrefix}-0001-4ABC-8DEF-0123456789AB}
            -D Component2={${componentPrefix}-0002-4ABC-8DEF-0123456789AB}
            -D Component3={${componentPrefix}-0003-4ABC-8DEF-0123456789AB}
            -o ${TX_REPAIR_PACKAGES}/${name}.msi ${TX_REPAIR_FIXTURES}/product.wxs
    ${ARGN}
    WORKING_DIRECTORY ${TX_REPAIR_FIXTURES}
    DEPENDS ${TX_REPAIR_FIXTURES}/product.wxs ${TX_REPAIR_FIXTURES}/payload.txt
    VERBATIM)
endfunction()
# The studio package keeps one component code in lower case, as some authoring tools write it.
tx_repair_package(studio {5E0A2C41-7B3D-4F19-8C6E-1D2F3A4B5C60} {6A3E1F5C-8B2D-4C7E-9F10-2D4B6A8C0E13}
  "Tessix Studio" TxRepairStudio A1B2C3D4
  COMMAND msibuild ${TX_REPAIR_PACKAGES}/studio.msi -q
          "UPDATE `Component` SET `ComponentId`='{a1b2c3d4-0001-4abc-8def-0123456789ab}' WHERE `Component`='Core'")
tx_repair_package(viewer {7C1D3E5F-2A4B-4C6D-8E9F-0A1B2C3D4E5F} {B74C2E91-5D3A-4F68-A1B2-C3D4E5F60718}
  "Tessix Viewer" TxRepairViewer B1B2C3D4)
tx_repair_package(other {9F8E7D6C-5B4A-4392-8170-6F5E4D3C2B1A} {0D9C8B7A-6F5E-4D3C-9B1A-098765432100}
  "Unrelated Product" TxRepairOther C1B2C3D4)
# The studio package with two more rows that name no component code: a program identifier and
# an unmanaged component. Only read, never installed.
tx_repair_package(odd {5E0A2C41-7B3D-4F19-8C6E-1D2F3A4B5C60} {6A3E1F5C-8B2D-4C7E-9F10-2D4B6A8C0E13}
  "Tessix Studio" TxRepairStudio A1B2C3D4
  COMMAND msibuild ${TX_REPAIR_PACKAGES}/odd.msi -q
          "INSERT INTO `Component` (`Component`,`ComponentId`,`Directory_`,`Attributes`) VALUES ('Odd','Shell.Application','INSTALLDIR',0)"
  COMMAND msibuild ${TX_REPAIR_PACKAGES}/odd.msi -q
          "INSERT INTO `Component` (`Component`,`Directory_`,`Attributes`) VALUES ('Unmanaged','INSTALLDIR',0)")
add_custom_target(repair_packages DEPENDS ${TX_REPAIR_PACKAGES}/studio.msi ${TX_REPAIR_PACKAGES}/viewer.msi
                                         ${TX_REPAIR_PACKAGES}/other.msi ${TX_REPAIR_PACKAGES}/odd.msi)

# Launchers packed with the desktop product's configuration and with another product's.
set(TX_REPAIR_LAUNCHERS ${CMAKE_BINARY_DIR}/fixtures/repair/launchers)
set(_repair_pack_commands)
foreach(config studio other)
  set(options)
  if(config STREQUAL "other")
    set(options --allow-refused-config) # its codes are not the package's: the launcher's refusal is under test
  endif()
  tx_pack_command(pack CONFIG ${TX_REPAIR_FIXTURES}/${config}.cfg PAYLOAD ${TX_REPAIR_PACKAGES}/studio.msi
                  OPTIONS ${options} OUTPUT ${TX_REPAIR_LAUNCHERS}/${config}/setup.exe)
  list(APPEND _repair_pack_commands
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TX_REPAIR_LAUNCHERS}/${config}
    COMMAND ${pack})
endforeach()
add_custom_target(repair_launchers ${_repair_pack_commands}
  DEPENDS setup txpack ${TX_REPAIR_PACKAGES}/studio.msi ${TX_REPAIR_FIXTURES}/studio.cfg ${TX_REPAIR_FIXTURES}/other.cfg
  COMMENT "Packing the repair-mode launchers"
  VERBATIM)

tx_unit_test(repair_test repair/repair_test.cpp repair/netCfg_test.cpp repair/driverStore_test.cpp
             e2e/runSupport.cpp gui/driver.cpp gui/screenshot.cpp unit/testSupport.cpp)
target_link_libraries(repair_test PRIVATE tx_setup_core msi)
add_dependencies(repair_test setup repair_packages repair_launchers)
add_test(NAME repair COMMAND repair_test $<TARGET_FILE:setup> ${TX_REPAIR_PACKAGES}/studio.msi
         ${TX_REPAIR_PACKAGES}/viewer.msi ${TX_REPAIR_PACKAGES}/other.msi ${TX_REPAIR_PACKAGES}/odd.msi
         ${TX_REPAIR_LAUNCHERS}/studio/setup.exe ${TX_REPAIR_LAUNCHERS}/other/setup.exe)
# The registry, the installed products and the driver store of the prefix are shared.
set_tests_properties(repair PROPERTIES RESOURCE_LOCK "wine_registry;wine_installer" TIMEOUT 300)
