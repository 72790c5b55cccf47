# What a system install adds beyond the program folder (see ui/main): the tool, icons,
# AppStream data, the manual page and the Debian documentation; and CPack's Debian
# package of it all: `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

install(TARGETS tolvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(TOLVANE_ICON_SIZES 16 24 32 48 64 128)
foreach(size IN LISTS TOLVANE_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tolvane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tolvane.png)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/resources/packaging/org.tolvane.Tolvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog are installed compressed, without time stamps, as
# Debian policy asks.
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})
foreach(page tolvane.1 tolvane-cli.1 changelog)
    add_custom_command(OUTPUT ${packaging_out}/${page}.gz
                       COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/resources/packaging/${page} >
                               ${packaging_out}/${page}.gz
                       DEPENDS ${PROJECT_SOURCE_DIR}/resources/packaging/${page} VERBATIM)
endforeach()
add_custom_target(tolvane_packaging_files ALL DEPENDS ${packaging_out}/tolvane.1.gz
                                                      ${packaging_out}/tolvane-cli.1.gz
                                                      ${packaging_out}/changelog.gz)
install(FILES ${packaging_out}/tolvane.1.gz ${packaging_out}/tolvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/changelog.gz ${PROJECT_SOURCE_DIR}/resources/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tolvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolvane developers")
set(CPACK_PACKAGE_CONTACT "The Tolvane developers <maintainers@tolvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio cutter and joiner")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane cuts a stretch out of an MP3, WAV, FLAC, Ogg or M4A file without\n\
re-encoding it, and joins several files into one MP3. The window has a\n\
preview player; tolvane-cli runs the same jobs from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE "")
# Files under /usr/lib, /usr/share and /usr/bin only; the default settings are data the
# program reads, not configuration under /etc.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
