# The resources both programs carry (icon, version, the name in the screen saver list): a
# program links glassfall_program_info and its .rc includes program_info.rc.
set(generated ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/program_version.h.in ${generated}/program_version.h @ONLY)

# HACK: the icon goes in as plain resources with numbers of our own, not through an ICON
# statement. The resource compiler numbers an ICON statement's images from 1 in every script it
# compiles, and the host's settings dialog brings a script with an icon of its own, so both
# would claim image 1. Here the images are RT_ICON 101 on and their directory RT_GROUP_ICON 1.
set(icon ${CMAKE_SOURCE_DIR}/packaging/icons/glassfall.ico)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon})
file(READ ${icon} ico HEX)

# The little-endian number of `bytes` bytes at byte `at` of the file.
function(ico_number at bytes out)
  set(value "")
  foreach(k RANGE 1 ${bytes})
    math(EXPR pos "2 * (${at} + ${bytes} - ${k})")
    string(SUBSTRING "${ico}" ${pos} 2 byte)
    string(APPEND value ${byte})
  endforeach()
  math(EXPR value "0x${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# `value` as `bytes` bytes of little-endian hex.
function(little_endian value bytes out)
  set(hex "")
  foreach(k RANGE 1 ${bytes})
    math(EXPR byte "${value} % 256")
    math(EXPR value "${value} / 256")
    math(EXPR byte "0x100 + ${byte}" OUTPUT_FORMAT HEXADECIMAL)  # 0x1NN: always two digits
    string(SUBSTRING "${byte}" 3 2 byte)
    string(APPEND hex ${byte})
  endforeach()
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

# Bytes as the resource compiler's 16-bit words, low byte first; an odd one out gets a zero
# after it (after a PNG's end, where readers ignore it).
function(ico_words hex out)
  string(LENGTH "${hex}" length)
  math(EXPR odd "${length} % 4")
  if(odd)
    string(APPEND hex "00")
  endif()
  string(REGEX REPLACE "(..)(..)" "0x\\2\\1," words "${hex}")
  string(REGEX REPLACE "(0x....,0x....,0x....,0x....,0x....,0x....,0x....,0x....,)" "\\1\n" words "${words}")
  string(REGEX REPLACE ",\n?$" "" words "${words}")
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

ico_number(4 2 count)
little_endian(${count} 2 count_hex)
set(group "00000100${count_hex}")  # reserved, type 1 (icons), count
set(images "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  math(EXPR entry "6 + 16 * ${i}")
  math(EXPR size_at "${entry} + 8")
  math(EXPR offset_at "${entry} + 12")
  ico_number(${size_at} 4 size)
  ico_number(${offset_at} 4 offset)
  math(EXPR id "101 + ${i}")
  # The group's entry: the file's size, colours, planes and bits, then the bytes as stored and
  # the image's number.
  math(EXPR hex_at "2 * ${entry}")
  string(SUBSTRING "${ico}" ${hex_at} 16 described)
  math(EXPR stored "(${size} + 1) / 2 * 2")
  little_endian(${stored} 4 stored_hex)
  little_endian(${id} 2 id_hex)
  string(APPEND group "${described}${stored_hex}${id_hex}")
  math(EXPR hex_offset "2 * ${offset}")
  math(EXPR hex_size "2 * ${size}")
  string(SUBSTRING "${ico}" ${hex_offset} ${hex_size} image)
  ico_words("${image}" words)
  string(APPEND images "${id} 3\nBEGIN\n${words}\nEND\n\n")
endforeach()
ico_words("${group}" group_words)
file(WRITE ${generated}/program_icon.rc.new
     "// The program's icon, from packaging/icons/glassfall.ico (written by CMake).\n"
     "${images}1 14\nBEGIN\n${group_words}\nEND\n")
file(COPY_FILE ${generated}/program_icon.rc.new ${generated}/program_icon.rc ONLY_IF_DIFFERENT)
file(REMOVE ${generated}/program_icon.rc.new)

add_library(glassfall_program_info INTERFACE)
target_include_directories(glassfall_program_info INTERFACE ${generated} ${CMAKE_CURRENT_LIST_DIR})
