# The C code of Wayland protocols, generated at build time by wayland-scanner:
#   glassfall_wayland_protocols(SOURCES_VAR DIR client|server XML...)
# appends each protocol's header (<base>-client-protocol.h or <base>-server-protocol.h) and
# its code (<base>-protocol.c), written into DIR, to the list SOURCES_VAR.
find_package(PkgConfig REQUIRED)
pkg_get_variable(GLASSFALL_WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT GLASSFALL_WAYLAND_SCANNER)
  find_program(GLASSFALL_WAYLAND_SCANNER wayland-scanner REQUIRED)
endif()

function(glassfall_wayland_protocols sources_var dir side)
  file(MAKE_DIRECTORY ${dir})
  set(sources ${${sources_var}})
  foreach(xml ${ARGN})
    get_filename_component(base ${xml} NAME_WE)
    set(header ${dir}/${base}-${side}-protocol.h)
    add_custom_command(
      OUTPUT ${header} ${dir}/${base}-protocol.c
      COMMAND ${GLASSFALL_WAYLAND_SCANNER} ${side}-header ${xml} ${header}
      COMMAND ${GLASSFALL_WAYLAND_SCANNER} private-code ${xml} ${dir}/${base}-protocol.c
      DEPENDS ${xml}
      VERBATIM)
    list(APPEND sources ${header} ${dir}/${base}-protocol.c)
  endforeach()
  set(${sources_var} ${sources} PARENT_SCOPE)
endfunction()
