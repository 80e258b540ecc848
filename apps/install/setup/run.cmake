# Command line, main flow, message boxes.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core.
target_sources(tx_setup_pure PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ui/pickButton.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ui/messageBox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui/uiState.cpp)
endif()
target_sources(tx_setup_pure PRIVATE ${CMAKE_CURRENT_LIST_DIR}/productCodes.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/singleInstance.cpp)
endif()
