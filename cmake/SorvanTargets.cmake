# sorvan_public_library(target): a library that applications link, in this
# build tree (add_subdirectory, FetchContent) or installed (find_package,
# pkg-config). It carries the include root, so consumers write
# #include "components/Sorvan.h" either way, and the C++20 its headers need
# (std::span), and it is reachable as Sorvan::<target> in both cases.
function(sorvan_public_library target)
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope}
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/sorvan>)
  target_compile_features(${target} ${scope} cxx_std_20)
  # libsorvanrt.so.1 -> libsorvanrt.so.1.0.0: a program keeps the major
  # version it was linked with.
  if(type STREQUAL "SHARED_LIBRARY" AND NOT WIN32)
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
  add_library(Sorvan::${target} ALIAS ${target})
  set_property(GLOBAL APPEND PROPERTY SORVAN_PUBLIC_LIBRARIES ${target})
endfunction()
