# The progress thread, splash, external UI and helper UI.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core
# inside if(TX_WINDOWS).
target_sources(tx_setup_pure PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ui/msiRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/helperUiText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/extractProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/splashLanguage.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ui/dlgProgress.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/splash.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/setupUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/extractCallbacks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/externalUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/helperUI.cpp)
  # The windows use gdi32 (regions, bitmaps); user32 comes with tx_install.
  target_link_libraries(tx_setup_core PUBLIC gdi32)
endif()
