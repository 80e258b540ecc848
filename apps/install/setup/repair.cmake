# Repair mode: the forced clean-up of the desktop product's installation records.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core.
target_sources(tx_setup_pure PRIVATE ${CMAKE_CURRENT_LIST_DIR}/repairRules.cpp)
if(TX_WINDOWS)
  target_sources(tx_setup_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/repair.cpp)
  # COM (CoInitialize, CLSIDFromString, the network configuration object) for the repair
  # actions of tx_install; ole32 is a KnownDLL.
  target_link_libraries(tx_install PUBLIC ole32)
endif()
