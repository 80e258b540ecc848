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
endif()
