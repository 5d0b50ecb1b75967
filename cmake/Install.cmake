# Installation: the two programs, the desktop entry, the AppStream record, the icon, the
# manual pages, and the help page, README and licence under share/doc/brimvale. Nothing
# installed refers back to the source or build tree, and paths follow GNUInstallDirs, so
# `cmake --install BUILD --prefix PREFIX` (and DESTDIR) work for any prefix.
include(GNUInstallDirs)

install(TARGETS brimvale brimvale-resize RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/res/linux/org.brimvale.Brimvale.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/linux/org.brimvale.Brimvale.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icons/hicolor/${size}x${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME org.brimvale.Brimvale.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/hicolor/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME org.brimvale.Brimvale.svg)
install(FILES ${PROJECT_SOURCE_DIR}/res/help/brimvale.html ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brimvale)
# The licence as the distribution's copyright file, and the change log compressed, where
# Debian's tools look for them.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brimvale RENAME copyright)
set(BRIMVALE_MAN_DIR ${CMAKE_BINARY_DIR}/man)
add_custom_command(
  OUTPUT ${BRIMVALE_MAN_DIR}/changelog.gz ${BRIMVALE_MAN_DIR}/brimvale.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BRIMVALE_MAN_DIR}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/res/linux/changelog > ${BRIMVALE_MAN_DIR}/changelog.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/res/man/brimvale.1 > ${BRIMVALE_MAN_DIR}/brimvale.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/res/linux/changelog ${PROJECT_SOURCE_DIR}/res/man/brimvale.1)
add_custom_target(compressed_docs ALL DEPENDS ${BRIMVALE_MAN_DIR}/changelog.gz ${BRIMVALE_MAN_DIR}/brimvale.1.gz)
install(FILES ${BRIMVALE_MAN_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brimvale)
install(FILES ${BRIMVALE_MAN_DIR}/brimvale.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# brimvale(1) is written by hand; brimvale-resize(1) is made from the program's own --help
# (with the sections in res/man/brimvale-resize.h2m), so it lists every option there is.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  add_custom_command(
    OUTPUT ${BRIMVALE_MAN_DIR}/brimvale-resize.1 ${BRIMVALE_MAN_DIR}/brimvale-resize.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BRIMVALE_MAN_DIR}
    COMMAND ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
            --include=${PROJECT_SOURCE_DIR}/res/man/brimvale-resize.h2m
            -o ${BRIMVALE_MAN_DIR}/brimvale-resize.1 $<TARGET_FILE:brimvale-resize>
    COMMAND gzip -9n -c ${BRIMVALE_MAN_DIR}/brimvale-resize.1 > ${BRIMVALE_MAN_DIR}/brimvale-resize.1.gz
    DEPENDS brimvale-resize ${PROJECT_SOURCE_DIR}/res/man/brimvale-resize.h2m
    COMMENT "Writing brimvale-resize(1)")
  add_custom_target(manpages ALL DEPENDS ${BRIMVALE_MAN_DIR}/brimvale-resize.1)
  install(FILES ${BRIMVALE_MAN_DIR}/brimvale-resize.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: brimvale-resize(1) is not made (scripts/install-deps.sh installs it)")
endif()
