# The release archive of the Windows programs:
#   cmake --build --preset windows --target release   ->  build/windows/Glassfall-<version>-windows.zip
# It holds Glassfall.scr, Glassfall.dll and Install.txt, side by side at its top.
set(GLASSFALL_RELEASE_ZIP ${CMAKE_BINARY_DIR}/Glassfall-${PROJECT_VERSION}-windows.zip)
set(release_stage ${CMAKE_BINARY_DIR}/release)
# Notepad of older systems shows a text without carriage returns as one long line.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Install.txt ${release_stage}/Install.txt @ONLY NEWLINE_STYLE CRLF)

add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Glassfall_host> ${release_stage}/Glassfall.scr
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Glassfall_renderer> ${release_stage}/Glassfall.dll
  COMMAND ${CMAKE_COMMAND} -E rm -f ${GLASSFALL_RELEASE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${GLASSFALL_RELEASE_ZIP} --format=zip Glassfall.scr Glassfall.dll Install.txt
  WORKING_DIRECTORY ${release_stage}
  DEPENDS Glassfall_host Glassfall_renderer
  BYPRODUCTS ${GLASSFALL_RELEASE_ZIP}
  COMMENT "Release archive ${GLASSFALL_RELEASE_ZIP}"
  VERBATIM)

# The Windows installer, built here with msitools (wixl, msibuild):
#   cmake --build --preset windows --target msi  ->  build/windows/Glassfall-<version>-windows.msi
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(WIXL AND MSIBUILD)
  set(GLASSFALL_MSI ${CMAKE_BINARY_DIR}/Glassfall-${PROJECT_VERSION}-windows.msi)
  set(icon ${CMAKE_SOURCE_DIR}/packaging/icons/glassfall.ico)
  # wixl takes the files' names relative to where it runs: the release stage, beside the programs.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/glassfall.wxs.in ${release_stage}/glassfall.wxs @ONLY)
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Glassfall_host> ${release_stage}/Glassfall.scr
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Glassfall_renderer> ${release_stage}/Glassfall.dll
    COMMAND ${CMAKE_COMMAND} -E copy ${icon} ${release_stage}/glassfall.ico
    COMMAND ${WIXL} -a x64 -o ${GLASSFALL_MSI} glassfall.wxs
    COMMAND ${MSIBUILD} ${GLASSFALL_MSI} -i ${CMAKE_CURRENT_LIST_DIR}/RemoveFile.idt
    WORKING_DIRECTORY ${release_stage}
    DEPENDS Glassfall_host Glassfall_renderer ${release_stage}/glassfall.wxs ${icon}
            ${CMAKE_CURRENT_LIST_DIR}/RemoveFile.idt
    BYPRODUCTS ${GLASSFALL_MSI}
    COMMENT "Windows installer ${GLASSFALL_MSI}"
    VERBATIM)
endif()
