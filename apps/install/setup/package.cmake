# Configuration resources, payload container and extraction.
# Included for every preset: pure sources go to tx_setup_pure (target_sources), Windows sources
# to tx_setup_core inside if(TX_WINDOWS).
target_sources(tx_setup_pure PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/configValues.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payloadFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payloadDigest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payloadRoom.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/config.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload.cpp
    ${CMAKE_CURRENT_LIST_DIR}/extractionFolder.cpp)
  target_link_libraries(tx_setup_core PUBLIC shlwapi)
endif()
