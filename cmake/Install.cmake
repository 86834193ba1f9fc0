# Installation in the usual layout, `make uninstall` and the Debian package.
#
#   <prefix>/bin/quillon-run            -> ../lib/quillon/quillon-run
#   <prefix>/bin/quillon-reg
#   <prefix>/bin/quillon-config
#   <prefix>/bin/quillon-restore        -> ../lib/quillon/quillon-restore (it loads libib-zip.so too)
#   <prefix>/lib/quillon/               the program and its private pieces: quillon-run-desktop, which
#                                       it hands over to on a display; libib-zip.so, which the
#                                       program loads from its own folder, and quillon-run.html
#                                       -> ../../share/quillon/quillon-run.html, the help it opens there
#   <prefix>/share/quillon/             the help document, the autostart entry (not enabled)
#   <prefix>/share/applications/        the menu entry "run the backups now"
#   <prefix>/share/man/man1/            quillon-run.1, quillon-reg.1, quillon-config.1, quillon-restore.1
#   <prefix>/lib/systemd/user/          quillon-run.service, quillon-run.timer with its
#                                       quillon-run-daily.service (none enabled)
#
# The program finds its folder through /proc/self/exe, which names the real file behind the bin link,
# so the desktop program, the library and the help document are found however the program is started.
include(GNUInstallDirs)

set(QUILLON_PRIVATE_DIR lib/quillon)  # no multiarch part: the bin link's target is fixed
set(QUILLON_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quillon)

# The links are made in the build tree and installed as links, so that install_manifest.txt and the
# package list them like any other file.
set(links ${CMAKE_CURRENT_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${links}/bin ${links}/private)
file(RELATIVE_PATH program_link /${CMAKE_INSTALL_BINDIR} /${QUILLON_PRIVATE_DIR}/quillon-run)
file(RELATIVE_PATH restore_link /${CMAKE_INSTALL_BINDIR} /${QUILLON_PRIVATE_DIR}/quillon-restore)
file(RELATIVE_PATH help_link /${QUILLON_PRIVATE_DIR} /${QUILLON_DATA_DIR}/quillon-run.html)
file(CREATE_LINK ${program_link} ${links}/bin/quillon-run SYMBOLIC)
file(CREATE_LINK ${restore_link} ${links}/bin/quillon-restore SYMBOLIC)
file(CREATE_LINK ${help_link} ${links}/private/quillon-run.html SYMBOLIC)

# Before anything is copied: the folders of the layout that do not exist yet, appended (with DESTDIR)
# to install_dirs_made.txt, so that the uninstall removes them again when they are left empty. The
# package's staging install is not recorded.
set(layout_dirs ${CMAKE_INSTALL_BINDIR} ${QUILLON_PRIVATE_DIR} ${QUILLON_DATA_DIR}/autostart
  ${CMAKE_INSTALL_MANDIR}/man1 ${CMAKE_INSTALL_DATADIR}/applications ${CMAKE_INSTALL_DATADIR}/doc/quillon
  lib/systemd/user)
install(CODE "
  set(dirs ${layout_dirs})
  if(\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\" MATCHES \"/_CPack_Packages/\")
    set(dirs \"\")
  endif()
  foreach(dir IN LISTS dirs)
    set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dir}\")
    while(NOT IS_DIRECTORY \"\${path}\" AND NOT path STREQUAL \"/\")
      file(APPEND \"${CMAKE_BINARY_DIR}/install_dirs_made.txt\" \"\${path}\\n\")
      get_filename_component(path \"\${path}\" DIRECTORY)
    endwhile()
  endforeach()")

install(TARGETS quillon-run quillon-run-desktop RUNTIME DESTINATION ${QUILLON_PRIVATE_DIR})
install(TARGETS ib-zip LIBRARY DESTINATION ${QUILLON_PRIVATE_DIR} NAMELINK_SKIP)
install(FILES ${links}/private/quillon-run.html DESTINATION ${QUILLON_PRIVATE_DIR})
install(FILES ${links}/bin/quillon-run DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quillon-reg quillon-config RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quillon-restore RUNTIME DESTINATION ${QUILLON_PRIVATE_DIR})
install(FILES ${links}/bin/quillon-restore DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES doc/quillon-run.html DESTINATION ${QUILLON_DATA_DIR})
install(FILES doc/quillon-run.1 doc/quillon-reg.1 doc/quillon-config.1 doc/quillon-restore.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES dist/quillon-run.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/autostart/quillon-run.desktop DESTINATION ${QUILLON_DATA_DIR}/autostart)
install(FILES dist/quillon-run.service dist/quillon-run.timer dist/quillon-run-daily.service
        DESTINATION lib/systemd/user)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon)

# Removes what the last install put in place (install_manifest.txt) and the program's own folders
# when they are left empty.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files")

# The Debian package (`make package`): the installed layout below /usr. Its dependencies are read
# from the libraries the programs link by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "versioned file backup into dated sets, plain or zipped")
set(CPACK_PACKAGE_DESCRIPTION
  "quillon-run finds the files of every configured folder that changed since its last backup and copies\n\
them into a set named after the date, as plain files or in zip archives. It makes full backups every\n\
few runs or days, deletes old sets by each folder's rules and keeps a control file beside the sets.\n\
Run once it backs up and ends; started with /W at login it runs daily at the configured time.\n\
quillon-config sets up the backups in words; quillon-reg writes and reads the registry entries;\n\
quillon-restore lists, verifies and restores the sets.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS unzip)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)  # the Help buttons open the document in the browser
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
