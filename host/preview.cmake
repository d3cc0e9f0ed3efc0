# The preview window: placement logic in the host core, the Win32 window in its own library
# (also linked by the in-process pixel test in tools/win32), the picture as a resource.
target_sources(glassfall_host_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/preview.cpp)
if(WIN32)
  add_library(glassfall_host_preview_win32 STATIC ${CMAKE_CURRENT_LIST_DIR}/win32/preview_window.cpp)
  target_link_libraries(glassfall_host_preview_win32 PUBLIC glassfall_host_win32)
  foreach(program Glassfall_host GlassfallHostBench)
    if(TARGET ${program})
      target_sources(${program} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win32/preview.rc)
      target_link_libraries(${program} PRIVATE glassfall_host_preview_win32)
    endif()
  endforeach()
endif()
