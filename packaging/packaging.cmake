# What `cmake --install` puts where, and the Debian package CPack makes of it
# (scripts/package builds it, scripts/package-test installs it on a fresh Debian 12).
include(GNUInstallDirs)

install(TARGETS merovitest merovisim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(MEROVI_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
install(FILES ${MEROVI_PACKAGING_DIR}/merovitest.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MEROVI_PACKAGING_DIR}/icons/merovitest.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNG sizes are rendered from the SVG by scripts/render-icons and committed.
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${MEROVI_PACKAGING_DIR}/icons/hicolor/${size}x${size}/merovitest.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Man pages: the version filled in, compressed as Debian keeps them (gzip -n: no time stamp).
foreach(page merovitest merovisim)
    configure_file(${MEROVI_PACKAGING_DIR}/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/man/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
        VERBATIM)
    list(APPEND MEROVI_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${MEROVI_MAN_PAGES})
install(FILES ${MEROVI_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Under the package's name, as Debian keeps them (the project is called MeroviTest).
set(MEROVI_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/merovitest)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${MEROVI_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${MEROVI_DOC_DIR} RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME merovitest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The MeroviTest developers")
set(CPACK_PACKAGE_CONTACT "MeroviTest developers <merovitest@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test and set-up tool for Modbus I/O modules")
set(CPACK_PACKAGE_DESCRIPTION
    "MeroviTest tests and commissions Modbus I/O modules (relay output boards, digital input
boards, analog voltage and current outputs and inputs) over Modbus RTU on RS-485 or Modbus
TCP: live panels, watchdog and network settings, a hex terminal, a module check with HTML,
CSV and JUnit reports, and merovisim, a simulated module for self-tests.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # merovitest_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries come from what the programs link (dpkg-shlibdeps); plugins are loaded at
# run time and so are named here: the Qt SQL drivers of the results store and the platform
# plugins (xcb for the desktop, offscreen for headless runs) that libqt5gui5 carries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5gui5, libqt5sql5-sqlite, libqt5sql5-psql")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "socat, mbpoll")
include(CPack)
