# Cross-compiling for Windows with Debian's MinGW-w64 (the posix thread model,
# which std::thread and std::mutex need). Included by the two target files,
# which set SORVAN_MINGW_TARGET to the compiler prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SORVAN_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${SORVAN_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SORVAN_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${SORVAN_MINGW_TARGET}-windres)

# Headers and libraries come from the target's tree only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SORVAN_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine, unless the caller names another way to run them.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(SORVAN_WINE NAMES wine)
  if(SORVAN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVAN_WINE})
  endif()
endif()

# pkg-config looks in the target's tree only, never at the build machine's libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${SORVAN_MINGW_TARGET}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
