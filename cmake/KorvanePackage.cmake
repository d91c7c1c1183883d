# Installation and the Debian package (cpack -G DEB, or scripts/package).
#
# The program, its three modules and the tools share one folder of their own,
# /usr/lib/korvane-appdownload: the program loads its modules from its own folder and the
# simulator finds the signing module beside itself. /usr/bin holds links to them.

set(KORVANE_INSTALL_DIR lib/korvane-appdownload)
set(KORVANE_SHARE_DIR share/korvane-appdownload)
set(KORVANE_COMMANDS KorvaneAppDownload korvane-keygen korvane-rsakeys korvane-seal korvane-sim
                     korvane-image-server korvane-records)

install(TARGETS ${KORVANE_COMMANDS} RUNTIME DESTINATION ${KORVANE_INSTALL_DIR})
install(TARGETS Ruduvar9 RODEdar RERizu LIBRARY DESTINATION ${KORVANE_INSTALL_DIR})
install(PROGRAMS scripts/make-config DESTINATION ${KORVANE_INSTALL_DIR} RENAME korvane-make-config)

foreach(command IN LISTS KORVANE_COMMANDS ITEMS korvane-make-config)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"../${KORVANE_INSTALL_DIR}/${command}\" \"\${bin}/${command}\" SYMBOLIC)")
endforeach()

install(DIRECTORY res/sample-config/ DESTINATION ${KORVANE_SHARE_DIR}/sample-config)
install(FILES res/package/60-korvane-appdownload.rules DESTINATION lib/udev/rules.d)
install(FILES res/package/korvane-appdownload.desktop DESTINATION share/applications)
install(FILES res/package/korvane-appdownload.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES README.md res/package/copyright DESTINATION share/doc/korvane-appdownload)
install(FILES docs/manual.md docs/windows.md DESTINATION share/doc/korvane-appdownload/docs)

# Debian wants its changelog compressed, reproducibly (no name or time in the gzip header).
set(KORVANE_CHANGELOG ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz)
add_custom_command(OUTPUT ${KORVANE_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/res/package/changelog > ${KORVANE_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/res/package/changelog
  VERBATIM)
add_custom_target(korvane_changelog ALL DEPENDS ${KORVANE_CHANGELOG})
install(FILES ${KORVANE_CHANGELOG} DESTINATION share/doc/korvane-appdownload)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane-appdownload)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KorvaneAppDownload developers")
set(CPACK_PACKAGE_CONTACT "KorvaneAppDownload developers <korvane-appdownload@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program QV41C terminals over USB serial ports, many at once")
set(CPACK_PACKAGE_DESCRIPTION
  "KorvaneAppDownload writes application images, a boot logo, an audio file\n and file sets into QV41C terminals on a factory line, each terminal on its\n own USB serial port with a session of its own. It comes with a window and\n a console front end, the key tools, a terminal simulator and a loopback\n image server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt 6, libcurl, mbedTLS and libpq (and the C++ runtime) from what the binaries link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
# The shared records' server and its client, on the machine that holds the records.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql, postgresql-client")
include(CPack)
