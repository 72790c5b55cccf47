# What a system install adds beyond the program and its data (see ui/main): the tool,
# icons, AppStream data and the manual pages.
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

# Manual pages are installed compressed, without time stamps, as Debian policy asks.
# The Debian package itself is built from debian/ (scripts/package.sh).
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})
foreach(page tolvane.1 tolvane-cli.1)
    add_custom_command(OUTPUT ${packaging_out}/${page}.gz
                       COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/resources/packaging/${page} >
                               ${packaging_out}/${page}.gz
                       DEPENDS ${PROJECT_SOURCE_DIR}/resources/packaging/${page} VERBATIM)
endforeach()
add_custom_target(tolvane_packaging_files ALL DEPENDS ${packaging_out}/tolvane.1.gz
                                                      ${packaging_out}/tolvane-cli.1.gz)
install(FILES ${packaging_out}/tolvane.1.gz ${packaging_out}/tolvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
