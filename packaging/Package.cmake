# The Debian package: `cpack -G DEB` in the build folder writes orvex_<version>-1_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "the orvex authors")
set(CPACK_PACKAGE_CONTACT "the orvex authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor of an ORVEX measurement concentrator over Modbus RTU")
set(CPACK_PACKAGE_DESCRIPTION
    "orvex shows the live readings of the eight sensor inputs of an ORVEX measurement\n"
    "concentrator on a serial line (Modbus RTU), records them to text, CSV and binary files\n"
    "and reads and sets the device's alarms; its trend window draws the readings over time,\n"
    "live or from recorded files. orvex-qdx prints a binary recording as a summary or CSV.\n"
    "orvex-recorder records the same files without a screen, as the system service\n"
    "orvex-recorder (installed disabled); both it and the window can publish the readings to\n"
    "an MQTT broker. orvex-sim, a simulated concentrator on a pseudo-terminal, is included.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${ORVEX_COPYRIGHT_FILE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(NOT ORVEX_HOMEPAGE STREQUAL ORVEX_PLACEHOLDER_HOME)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ORVEX_HOMEPAGE})
endif()
# Library dependencies come from the binaries. Plugins that Qt loads at run time are not seen
# there: the X11 platform plugin ships in libqt6gui6, which the binaries need anyway; the SVG
# icon engine and image format (the window icon and the pictures are SVG) ship in libqt6svg6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Data the program loads at start: Qt's Polish translation of its standard dialogs and buttons,
# and the free faces metric-compatible with Arial, which the design's font sizes assume. The trend
# window draws with QCustomPlot (its Qt 6 build); shlibdeps finds it too, named here because the
# licence of the built program follows from it. passwd: useradd for the recorder's system user in
# postinst. libsystemd0 (the recorder's notify lifecycle) and libmosquitto1 (publishing) come from
# the binaries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6svg6, qt6-translations-l10n, fonts-liberation2, libqcustomplot2.1-qt6, passwd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/recorder/postinst ${CMAKE_CURRENT_SOURCE_DIR}/recorder/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/recorder/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
