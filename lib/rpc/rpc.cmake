# The hypervisor channel. Pure protocol code goes into tx_pure; Windows-only code into tx_install.
if(TX_WINDOWS)
  target_sources(tx_install PRIVATE ${CMAKE_CURRENT_LIST_DIR}/guestLog.cpp)
endif()
