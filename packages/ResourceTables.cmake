# sorvan_resource_table(OUTPUT file DESCRIPTION macro ICON name file BITMAPS name file ...)
#
# Writes the C++ resource table of a package for platforms without resource
# scripts: the description and version data, one icon group with its single
# image (#1), and the bitmaps, each taken from the image file as a resource
# compiler would (a bitmap without its 14-byte file header, an icon file split
# into its group directory and its image).

function(_sorvan_hex_array variable hex out)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 16 row)
  string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
  string(APPEND ${out} "const unsigned char ${variable}[] = {\n    ${bytes}\n};\n")
  set(${out} "${${out}}" PARENT_SCOPE)
endfunction()

function(sorvan_resource_table)
  cmake_parse_arguments(ARG "" "OUTPUT;DESCRIPTION" "ICON;BITMAPS" ${ARGN})
  set(RESOURCE_ARRAYS "")
  set(RESOURCE_ENTRIES "")

  list(GET ARG_ICON 0 icon_name)
  list(GET ARG_ICON 1 icon_file)
  file(READ "${icon_file}" hex HEX)
  string(SUBSTRING "${hex}" 0 12 directory)
  string(SUBSTRING "${hex}" 12 32 entry)
  string(SUBSTRING "${entry}" 24 8 image_offset)
  if(NOT directory STREQUAL "000001000100" OR NOT image_offset STREQUAL "16000000")
    message(FATAL_ERROR "${icon_file} must be an icon file with exactly one image")
  endif()
  string(SUBSTRING "${entry}" 0 24 group_entry)
  string(SUBSTRING "${hex}" 44 -1 image)
  _sorvan_hex_array(kIconGroup "${directory}${group_entry}0100" RESOURCE_ARRAYS)
  _sorvan_hex_array(kIconImage "${image}" RESOURCE_ARRAYS)
  string(APPEND RESOURCE_ENTRIES
    "        {\"#14\", \"${icon_name}\", kIconGroup, sizeof kIconGroup},\n"
    "        {\"#3\", \"#1\", kIconImage, sizeof kIconImage},\n")
  set(depends "${icon_file}")

  while(ARG_BITMAPS)
    list(POP_FRONT ARG_BITMAPS name file)
    file(READ "${file}" hex HEX)
    string(SUBSTRING "${hex}" 0 4 signature)
    if(NOT signature STREQUAL "424d")
      message(FATAL_ERROR "${file} is not a bitmap file")
    endif()
    string(SUBSTRING "${hex}" 28 -1 dib)
    _sorvan_hex_array(kBitmap${name} "${dib}" RESOURCE_ARRAYS)
    string(APPEND RESOURCE_ENTRIES
      "        {\"#2\", \"${name}\", kBitmap${name}, sizeof kBitmap${name}},\n")
    list(APPEND depends "${file}")
  endwhile()

  set(DESCRIPTION "${ARG_DESCRIPTION}")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ResourceTable.cpp.in" "${ARG_OUTPUT}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${depends})
endfunction()
