# Run last by `cmake --install`: writes APP_DIR/installed-files, one line per file
# installed, "SHA256 PATH" for the shipped songs (a song changed since then is the
# user's and dist/uninstall.sh keeps it) and "- PATH" for the rest, then "d PATH" for
# each shared folder the installation created, deepest first. Paths are relative to
# the prefix. The manifest names the files without DESTDIR; under DESTDIR (a package
# being built) they are read there.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(lines "")
foreach(file ${CMAKE_INSTALL_MANIFEST_FILES})
  file(RELATIVE_PATH path "${CMAKE_INSTALL_PREFIX}" "${file}")
  set(sum "-")
  if(path MATCHES "/data/songs/")
    file(SHA256 "${root}/${path}" sum)
  endif()
  string(APPEND lines "${sum} ${path}\n")
endforeach()
list(SORT TAMO_NEW_DIRS ORDER DESCENDING)   # a folder sorts after its parent
foreach(dir ${TAMO_NEW_DIRS})
  string(APPEND lines "d ${dir}\n")
endforeach()
file(WRITE "${root}/${TAMO_APP_DIR}/installed-files" "${lines}")
message(STATUS "Listed the installed files in ${root}/${TAMO_APP_DIR}/installed-files")
