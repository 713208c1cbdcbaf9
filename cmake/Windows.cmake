# The Windows build: the components on the system's waveform API and windows,
# the packages as DLLs with their resource scripts.

# Programs, packages and the MinGW run-time DLLs share one folder, the way an
# application ships them, so every program finds every DLL it needs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# All modules share one C++ run-time, so exceptions and objects pass between
# the packages and the programs that load them (with a static run-time in each
# module, 32-bit unwinding stops at the module's edge).
if(MINGW)
  foreach(dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
      file(COPY "${found}" DESTINATION ${CMAKE_BINARY_DIR}/bin)
    endif()
  endforeach()
endif()

# Under Wine, tests share one prefix (set WINEPREFIX to reuse one across
# builds) and record from and play to ALSA's null device, so a machine
# without a sound card still has one input and one output device.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
  if(DEFINED ENV{WINEPREFIX})
    set(wine_prefix $ENV{WINEPREFIX})
  else()
    set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPREFIX=${wine_prefix}
      ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:${CMAKE_CURRENT_LIST_DIR}/wine-asound.conf
      ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

# GCC 12 takes std::string's operator+ for overlapping copies once it is
# inlined deeply enough, as Release builds for Windows do (GCC bug 105651,
# fixed in GCC 13): a false alarm on ordinary string concatenation, so that
# one warning is off for those compilers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
