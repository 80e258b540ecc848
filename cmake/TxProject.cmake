# Compiler and linker settings shared by every target of the project.

if(WIN32)
  set(TX_WINDOWS ON)
  if(TX_ARCH STREQUAL "arm64")
    set(TX_RUNS_HERE OFF)
  else()
    set(TX_RUNS_HERE ON)
  endif()
else()
  set(TX_WINDOWS OFF)
  set(TX_RUNS_HERE ON)
endif()

# Project code: warnings are errors. Third-party code (GoogleTest) does not get these.
function(tx_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unknown-pragmas)
  target_compile_definitions(${target} PRIVATE TX_BUILD_NUMBER=${TX_BUILD_NUMBER})
  target_include_directories(${target} PUBLIC ${TX_SOURCE_DIR})
  if(TX_WINDOWS)
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                _WIN32_WINNT=0x0A00 WINVER=0x0A00 __USE_MINGW_ANSI_STDIO=1)
  endif()
endfunction()

# A Windows program: static C and C++ runtimes, hardened image, no stripped debug surprises.
function(tx_windows_program target subsystem)
  tx_target(${target})
  target_link_options(${target} PRIVATE -static -Wl,--subsystem,${subsystem} -Wl,--gc-sections)
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  if(TX_ARCH STREQUAL "arm64")
    # zig's clang ignores -municode: entry.cpp supplies WinMain/main that forward to the wide entry.
    target_compile_definitions(${target} PRIVATE TX_NARROW_ENTRY=1)
  else()
    target_link_options(${target} PRIVATE -municode -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
  endif()
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()
