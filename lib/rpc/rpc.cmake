# The hypervisor channel. The protocol (register block and door, emulation messages, message
# channel, RPC out, log-text forwarding) is pure core; the hypervisor call itself, the virtual
# environment check and the bindings to the hypervisor live in tx_install (the logger forwards
# to them and they log).
set(_tx_rpc ${CMAKE_CURRENT_LIST_DIR})
target_sources(tx_pure PRIVATE
  ${_tx_rpc}/backdoorCall.cpp
  ${_tx_rpc}/backdoorWire.cpp
  ${_tx_rpc}/msgChannel.cpp
  ${_tx_rpc}/rpcOut.cpp
  ${_tx_rpc}/guestLogText.cpp
)
if(TX_WINDOWS)
  target_sources(tx_install PRIVATE
    ${_tx_rpc}/backdoor.cpp
    ${_tx_rpc}/vmCheck.cpp
    ${_tx_rpc}/hostRpc.cpp
    ${_tx_rpc}/guestLog.cpp
  )
  if(TX_ARCH STREQUAL "arm64")
    target_sources(tx_install PRIVATE ${_tx_rpc}/backdoorArm64.cpp)
  else()
    target_sources(tx_install PRIVATE ${_tx_rpc}/backdoorEmulated.cpp)
  endif()
endif()
