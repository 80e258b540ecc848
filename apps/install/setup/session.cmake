# The Windows Installer session and restart handling.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core
# inside if(TX_WINDOWS).
target_sources(tx_setup_pure PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/productVersion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/propertyString.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sessionRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/restartDecision.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/msiSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/existingProduct.cpp
    ${CMAKE_CURRENT_LIST_DIR}/olderProduct.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installerError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reboot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sessionHooks.cpp)
endif()
