# Tests of the progress thread, splash, external UI and helper UI. Included for every preset; TX_WINDOWS tells the Windows build.
tx_unit_test(ui_pure_test ui/uiPure_test.cpp)
target_link_libraries(ui_pure_test PRIVATE tx_setup_pure)
add_test(NAME ui_pure COMMAND ui_pure_test)

if(TX_WINDOWS)
  # The test program carries the launcher's resources (dialog 1101, catalogue, icon, manifest)
  # and one splash bitmap resource, so its own module is the resource module, as in setup.exe.
  set(_gui_rc ${CMAKE_CURRENT_SOURCE_DIR}/gui/guiTest.rc)
  set(_gui_res ${CMAKE_CURRENT_BINARY_DIR}/guiTest.res)
  set(_gui_obj ${CMAKE_CURRENT_BINARY_DIR}/guiTest_res.obj)
  add_custom_command(
    OUTPUT ${_gui_obj}
    COMMAND x86_64-w64-mingw32-windres -c 65001 -I ${CMAKE_SOURCE_DIR}/resources -I ${CMAKE_CURRENT_SOURCE_DIR}/gui
            -i ${_gui_rc} -O res -o ${_gui_res}
    COMMAND llvm-cvtres /machine:x64 /out:${_gui_obj} ${_gui_res}
    DEPENDS ${_gui_rc} ${CMAKE_CURRENT_SOURCE_DIR}/gui/fixtures/splash-1041.bmp tx_resources ${TX_RESOURCE_RES}
    COMMENT "Compiling the GUI tests' resources")

  # A package for the removal window to watch being removed.
  set(_removal_msi ${CMAKE_CURRENT_BINARY_DIR}/fixtures/removal.msi)
  add_custom_command(
    OUTPUT ${_removal_msi}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/fixtures
    COMMAND wixl -o ${_removal_msi} removal.wxs
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/gui/fixtures
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gui/fixtures/removal.wxs
    COMMENT "Building the removal fixture package")
  add_custom_target(ui_fixtures DEPENDS ${_gui_obj} ${_removal_msi})

  tx_unit_test(ui_windows_test
    ui/handlers_test.cpp
    gui/progressGui_test.cpp
    gui/messageBoxGui_test.cpp
    gui/removalGui_test.cpp
    gui/driver.cpp
    gui/screenshot.cpp
    unit/testSupport.cpp
    ${_gui_obj})
  set_source_files_properties(${_gui_obj} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_dependencies(ui_windows_test ui_fixtures)
  target_link_libraries(ui_windows_test PRIVATE tx_setup_core msi gdi32)

  set(_artifacts ${CMAKE_BINARY_DIR}/artifacts)
  add_test(NAME ui_handlers COMMAND ui_windows_test --gtest_filter=Handlers.*)
  add_test(NAME gui_progress COMMAND ui_windows_test ${_artifacts} --gtest_filter=ProgressWindow.*)
  add_test(NAME gui_message_boxes COMMAND ui_windows_test ${_artifacts} --gtest_filter=OnScreenQuestions.*)
  add_test(NAME gui_removal COMMAND ui_windows_test ${_removal_msi} ${_artifacts} --gtest_filter=RemovalWindow.*)
  set_tests_properties(gui_removal PROPERTIES RESOURCE_LOCK wine_registry)

  # The whole launcher on screen: packed launchers around the session's test package, one with a
  # payload large enough to press Cancel while it is being extracted.
  set(_gui_launchers ${CMAKE_BINARY_DIR}/fixtures/gui-launchers)
  set(_gui_big ${_gui_launchers}/big.bin)
  add_custom_command(
    OUTPUT ${_gui_big}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gui_launchers}
    COMMAND truncate -s 512M ${_gui_big}
    COMMENT "Making a 512 MiB payload file")
  set(_gui_images)
  foreach(launcher space:gui/fixtures/space.cfg:tools.msi engine:gui/fixtures/engine.cfg:tools.msi
                   big:fixtures/msi/tools.cfg:big.bin)
    string(REPLACE ":" ";" parts ${launcher})
    list(GET parts 0 name)
    list(GET parts 1 config)
    list(GET parts 2 first)
    set(payload ${TX_MSI_FIXTURES}/payload-tools-13.0.1/tools.msi)
    if(first STREQUAL "big.bin")
      set(payload ${_gui_big} ${payload})
    endif()
    set(image ${_gui_launchers}/${name}/setup.exe)
    tx_pack_command(pack CONFIG ${CMAKE_CURRENT_SOURCE_DIR}/${config} PAYLOAD ${payload} OUTPUT ${image})
    add_custom_command(
      OUTPUT ${image}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_gui_launchers}/${name}
      COMMAND ${pack}
      DEPENDS setup txpack session_fixtures ${_gui_big} ${CMAKE_CURRENT_SOURCE_DIR}/${config}
      COMMENT "Packing the GUI test launcher ${name}"
      VERBATIM)
    list(APPEND _gui_images ${image})
  endforeach()
  add_custom_target(gui_launchers DEPENDS ${_gui_images})

  tx_unit_test(gui_launcher_test gui/launcherGui_test.cpp session/sessionTestSupport.cpp e2e/runSupport.cpp
               gui/driver.cpp gui/screenshot.cpp unit/testSupport.cpp)
  target_link_libraries(gui_launcher_test PRIVATE tx_setup_core msi gdi32)
  add_dependencies(gui_launcher_test gui_launchers session_launchers)
  add_test(NAME gui_launcher COMMAND gui_launcher_test ${TX_MSI_FIXTURES} $<TARGET_FILE:setup> ${_gui_launchers}
                                     ${CMAKE_BINARY_DIR}/fixtures/session-packed ${_artifacts})
  set_tests_properties(gui_launcher PROPERTIES RESOURCE_LOCK "wine_registry;wine_installer" TIMEOUT 300)
endif()
