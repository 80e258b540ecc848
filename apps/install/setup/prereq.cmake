# The engine gate, the VC runtime stage, services and the version report.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core
# inside if(TX_WINDOWS).
target_sources(tx_setup_pure PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/runtimeTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prereqRules.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fileVersion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/prerequisites.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtimeStage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/versionReport.cpp)
endif()
