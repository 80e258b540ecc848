# Package signature verification: Authenticode checks of the launcher and its packages.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core
# inside if(TX_WINDOWS). WinTrust, crypt32 and the version library are bound at run time; only
# ole32 (a KnownDLL) is imported, for structured storage.
target_sources(tx_setup_pure PRIVATE ${CMAKE_CURRENT_LIST_DIR}/signatureRules.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/signature.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signatureLibs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fileSummary.cpp)
  target_link_libraries(tx_setup_core PUBLIC ole32)
endif()
