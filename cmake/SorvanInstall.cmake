# cmake --install: the run-time libraries with their headers under one include
# root, the CMake package (find_package(Sorvan)), sorvan.pc, the design-time
# package and the sorvan program, each finding its libraries from the prefix.
include(CMakePackageConfigHelpers)

set(SORVAN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Sorvan
  CACHE STRING "Where the Sorvan CMake package files go, below the prefix")
set(SORVAN_INSTALL_PACKAGEDIR ${CMAKE_INSTALL_LIBDIR}/sorvan
  CACHE STRING "Where the design-time package sorvandt goes, below the prefix")

# Installed libraries and programs find the libraries beside them, wherever
# the prefix is moved to.
if(NOT WIN32)
  set(origin $ORIGIN)
  if(APPLE)
    set(origin @loader_path)
  endif()
  file(RELATIVE_PATH bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  file(RELATIVE_PATH package_to_lib /${SORVAN_INSTALL_PACKAGEDIR} /${CMAKE_INSTALL_LIBDIR})
  get_property(libraries GLOBAL PROPERTY SORVAN_PUBLIC_LIBRARIES)
  foreach(library IN LISTS libraries)
    get_target_property(type ${library} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      set_target_properties(${library} PROPERTIES INSTALL_RPATH "${origin}")
    endif()
  endforeach()
  set_target_properties(sorvandt PROPERTIES INSTALL_RPATH "${origin}/${package_to_lib}")
  if(TARGET sorvan)
    set_target_properties(sorvan PROPERTIES INSTALL_RPATH "${origin}/${bin_to_lib}")
  endif()
endif()

get_property(libraries GLOBAL PROPERTY SORVAN_PUBLIC_LIBRARIES)
install(TARGETS ${libraries} EXPORT SorvanTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS sorvandt
  RUNTIME DESTINATION ${SORVAN_INSTALL_PACKAGEDIR}
  LIBRARY DESTINATION ${SORVAN_INSTALL_PACKAGEDIR})
if(TARGET sorvan)
  install(TARGETS sorvan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The public headers only: those components/Sorvan.h and framework/ include
# (the design-time ones among them), never a driver's or the waveform
# layer's own. scripts/consumer-check.sh builds the applications on them.
set(SORVAN_PUBLIC_HEADERS
  components/PlaybackLateDones.h components/PlaybackQueue.h components/Sorvan.h
  components/SorvanIn.h components/SorvanOut.h components/SorvanWave.h components/StreamGaps.h
  components/WavFile.h components/WaveCalls.h
  platform/WaveApi.h platform/WaveGaps.h platform/Win32.h)
file(GLOB framework_headers RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/framework/*.h)
list(APPEND SORVAN_PUBLIC_HEADERS ${framework_headers})
if(NOT WIN32)
  list(APPEND SORVAN_PUBLIC_HEADERS
    platform/posix/MmSystem.h platform/posix/WinTypes.h platform/posix/WinUser.h)
endif()
# The optional glue to GLib's and Qt's loops, which applications include themselves.
file(GLOB glue_headers RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/glue/*.h)
list(APPEND SORVAN_PUBLIC_HEADERS ${glue_headers})
foreach(header IN LISTS SORVAN_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sorvan/${folder})
endforeach()

install(EXPORT SorvanTargets NAMESPACE Sorvan:: DESTINATION ${SORVAN_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/SorvanConfig.cmake.in
  ${PROJECT_BINARY_DIR}/SorvanConfig.cmake
  INSTALL_DESTINATION ${SORVAN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/SorvanConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/SorvanConfig.cmake ${PROJECT_BINARY_DIR}/SorvanConfigVersion.cmake
  DESTINATION ${SORVAN_INSTALL_CMAKEDIR})

# pkg-config: the same libraries and include root. No -std flag: the
# application chooses its standard, C++20 or later.
set(SORVAN_PC_DEFINES "")
if(WIN32)
  set(SORVAN_PC_LIBS "-lsorvanrt -lvcl50 -lwinmm -luser32")
else()
  set(SORVAN_PC_LIBS "-lsorvanrt -lvcl50 -lsorvan_platform")
endif()
# The prefix is found from the file's own place, so it stays right under
# cmake --install --prefix and when the tree is moved.
file(RELATIVE_PATH SORVAN_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" SORVAN_PC_PREFIX "${SORVAN_PC_PREFIX}")
configure_file(sorvan.pc.in ${PROJECT_BINARY_DIR}/sorvan.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sorvan.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
