# Quorvel as a Debian package (CPack): the programs, the simulated ECU as
# quorvel-ecu-sim, the desktop entry, the AppStream metadata, the icons, the man pages
# and the documents, where Debian keeps them. scripts/package builds it into dist/.
include(GNUInstallDirs)
set(QUORVEL_PACKAGE_FILES ${PROJECT_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${QUORVEL_PACKAGE_FILES})

# Man pages and the changelog carry the version; Debian wants them compressed with
# gzip -9 and without a time stamp (-n), so that the package builds the same each time.
set(compressed "")
foreach(file man/quorvel.1 man/quorvel-ports.1 man/quorvel-plot.1 man/quorvel-sheet.1 man/quorvel-ecu-sim.1
             changelog)
  get_filename_component(name ${file} NAME)
  configure_file(packaging/${file} ${QUORVEL_PACKAGE_FILES}/${name} @ONLY)
  add_custom_command(OUTPUT ${QUORVEL_PACKAGE_FILES}/${name}.gz
    COMMAND gzip -9nkf ${QUORVEL_PACKAGE_FILES}/${name}
    DEPENDS ${QUORVEL_PACKAGE_FILES}/${name})
  list(APPEND compressed ${QUORVEL_PACKAGE_FILES}/${name}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${compressed})
# The desktop entry and the AppStream metadata carry their name, comment and description
# in every language of po/, merged by gettext's msgfmt (which knows the AppStream file
# by its name: the English one, its version filled in, is kept in a folder of its own).
find_program(MSGFMT msgfmt REQUIRED)
configure_file(packaging/org.quorvel.Quorvel.metainfo.xml
               ${QUORVEL_PACKAGE_FILES}/english/org.quorvel.Quorvel.metainfo.xml @ONLY)
add_custom_command(OUTPUT ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.desktop
  COMMAND ${MSGFMT} --desktop --template=${PROJECT_SOURCE_DIR}/packaging/org.quorvel.Quorvel.desktop
          -d ${PROJECT_SOURCE_DIR}/po -o ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.desktop
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/org.quorvel.Quorvel.desktop ${QUORVEL_PO_FILES})
add_custom_command(OUTPUT ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.metainfo.xml
  COMMAND ${MSGFMT} --xml --template=${QUORVEL_PACKAGE_FILES}/english/org.quorvel.Quorvel.metainfo.xml
          -d ${PROJECT_SOURCE_DIR}/po -o ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.metainfo.xml
  DEPENDS ${QUORVEL_PACKAGE_FILES}/english/org.quorvel.Quorvel.metainfo.xml ${QUORVEL_PO_FILES})
add_custom_target(translated_metadata ALL DEPENDS ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.desktop
                  ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.metainfo.xml)

install(TARGETS quorvel quorvel-ports quorvel-plot quorvel-sheet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS $<TARGET_FILE:ecu-sim> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quorvel-ecu-sim)
# A program installed under another name is not stripped with the targets: here it is.
install(CODE "execute_process(COMMAND ${CMAKE_STRIP}
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvel-ecu-sim\")")
install(FILES ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUORVEL_PACKAGE_FILES}/org.quorvel.Quorvel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 256)
  install(FILES packaging/icons/quorvel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME org.quorvel.Quorvel.png)
endforeach()
install(FILES packaging/icons/quorvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME org.quorvel.Quorvel.svg)
foreach(page quorvel quorvel-ports quorvel-plot quorvel-sheet quorvel-ecu-sim)
  install(FILES ${QUORVEL_PACKAGE_FILES}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The users' README (what the program does, leads, the group, the log, the tools); the
# developers' one stays with the source.
configure_file(packaging/README.user.md ${QUORVEL_PACKAGE_FILES}/README.md @ONLY)
install(FILES packaging/copyright ${QUORVEL_PACKAGE_FILES}/changelog.gz
        ${QUORVEL_PACKAGE_FILES}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <developers@quorvel.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quorvel developers <developers@quorvel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "live engine data of Fiat and Lancia cars with single-point injection")
# The extended description, in lines that fit Debian's 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel reads the engine control unit of Fiat and Lancia cars with
single-point petrol injection (the Punto Mk1 55 and 75, the 500, Panda,
Lancia Y, Palio, Tipo, Tempra and Seicento) through a serial port or a
USB K-line lead, and shows engine speed, temperatures, throttle, manifold
pressure, battery voltage, injection and ignition on nine gauges, with a
panel of the faults it reports. It can log every reading to a file.
.
Beside it come quorvel-ports, which says why the dashboard shows nothing,
quorvel-plot, which draws a logged drive, quorvel-sheet, which copies a
logged drive for the user's own spreadsheet, and quorvel-ecu-sim, a
simulated engine control unit to try Quorvel without a car.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvel.org/)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, as dpkg-shlibdeps finds them, and the font they draw in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
