# What a desktop and its software centre want of the native program: the desktop entry, the
# AppStream metadata and the icon in the hicolor theme; and the RPM beside the Debian package.
# The release's version is the project's; its date and notes are the Debian changelog's first
# entry, so that the three never disagree.
set(linux_packaging ${CMAKE_CURRENT_LIST_DIR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${linux_packaging}/changelog)
file(STRINGS ${linux_packaging}/changelog changelog)
set(notes "")
foreach(line IN LISTS changelog)
  if(line MATCHES "^ -- (.+)  ([A-Z][a-z][a-z]), ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(maintainer ${CMAKE_MATCH_1})
    set(day_name ${CMAKE_MATCH_2})
    set(day ${CMAKE_MATCH_3})
    set(month_name ${CMAKE_MATCH_4})
    set(year ${CMAKE_MATCH_5})
    break()
  elseif(line MATCHES "^    (.*)$")
    string(APPEND notes " ${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  \\* (.*)$")
    string(APPEND notes "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT maintainer)
  message(FATAL_ERROR "packaging/linux/changelog: no trailer line in its first entry")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${month_name} month)
math(EXPR month "${month} + 1")
if(month LESS 10)
  set(month 0${month})
endif()
set(GLASSFALL_RELEASE_DATE ${year}-${month}-${day})
set(GLASSFALL_RELEASE_NOTES ${notes})

set(GLASSFALL_PROGRAM ${CMAKE_INSTALL_PREFIX}/libexec/xscreensaver/glassfall)
configure_file(${linux_packaging}/glassfall.desktop.in ${CMAKE_BINARY_DIR}/packaging/glassfall.desktop @ONLY)
configure_file(${linux_packaging}/io.github.glassfall.Glassfall.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/io.github.glassfall.Glassfall.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/glassfall.desktop DESTINATION share/applications)
install(FILES ${CMAKE_BINARY_DIR}/packaging/io.github.glassfall.Glassfall.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/packaging/icons/hicolor DESTINATION share/icons)
# The idle mode as a systemd user service, installed but not enabled.
configure_file(${linux_packaging}/glassfall-idle.service.in ${CMAKE_BINARY_DIR}/packaging/glassfall-idle.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/glassfall-idle.service DESTINATION lib/systemd/user)

# cpack -G RPM: the same files as the .deb.
set(CPACK_RPM_PACKAGE_LICENSE MIT)
string(SUBSTRING "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" 0 1 first)
string(SUBSTRING "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" 1 -1 rest)
string(TOUPPER ${first} first)
set(CPACK_RPM_PACKAGE_SUMMARY "${first}${rest}")  # RPM summaries start with a capital
# No /usr/lib/.build-id links, which the .deb does not have either.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none\n%define packager ${maintainer}")
set(CPACK_RPM_PACKAGE_GROUP "Amusements/Graphics")
set(CPACK_RPM_PACKAGE_URL https://example.org/glassfall)
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_SUGGESTS xscreensaver)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(rpm_changelog ${CMAKE_BINARY_DIR}/packaging/rpm-changelog)
file(WRITE ${rpm_changelog}
     "* ${day_name} ${month_name} ${day} ${year} ${maintainer} - ${PROJECT_VERSION}-1\n- ${notes}\n")
set(CPACK_RPM_CHANGELOG_FILE ${rpm_changelog})
# Folders that belong to the system or to other packages are not the package's own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/libexec /usr/lib/systemd /usr/lib/systemd/user
    /usr/share/applications /usr/share/metainfo
    /usr/share/icons /usr/share/icons/hicolor /usr/share/man /usr/share/man/man6)
file(GLOB icon_sizes RELATIVE ${CMAKE_SOURCE_DIR}/packaging/icons/hicolor ${CMAKE_SOURCE_DIR}/packaging/icons/hicolor/*)
foreach(size IN LISTS icon_sizes)
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/icons/hicolor/${size}
       /usr/share/icons/hicolor/${size}/apps)
endforeach()
