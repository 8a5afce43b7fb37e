# Run by `cmake --install` after the desktop entry and the song type are in place:
# updates the MIME database and the desktop's type-to-program cache of the prefix, when
# their tools are installed. Not under DESTDIR: a package's installation does it there.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
set(share "${CMAKE_INSTALL_PREFIX}/${TAMO_DATADIR}")
find_program(TAMO_UPDATE_MIME update-mime-database)
find_program(TAMO_UPDATE_DESKTOP update-desktop-database)
if(TAMO_UPDATE_MIME)
  execute_process(COMMAND ${TAMO_UPDATE_MIME} "${share}/mime")
endif()
if(TAMO_UPDATE_DESKTOP)
  execute_process(COMMAND ${TAMO_UPDATE_DESKTOP} "${share}/applications")
endif()
