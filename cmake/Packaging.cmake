# Install layout and the Debian package. The version comes from project() in the top list, the
# same number the About box shows.
include(GNUInstallDirs)

install(TARGETS vornexcontrol vornex-sim vornexctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VORNEXCTL_MANPAGE)
    install(FILES ${VORNEXCTL_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/app/vornexcontrol.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/app/vornexcontrol.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

set(VORNEX_PACKAGE_MAINTAINER "VORNEXcontrol developers <vornexcontrol@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornexcontrol)
set(CPACK_PACKAGE_VENDOR "VORNEXcontrol developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build tree; the package carries stripped programs.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORNEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop panel for VORNEX laboratory power supplies on a serial (COM)
port: seven-segment voltage and current displays with CV/CC lamps,
setpoints and output switch, ADC readings, calibration and user
parameters, and a timed voltage/current log that can be saved to a file
and is plotted as a chart.

Also contains vornexctl, the same converter control from the command
line for scripts and test benches (readings, setpoints, output switch,
calibration and user blocks as JSON files, the timed log), and
vornex-sim, an emulator of the converter on a pseudo-terminal for trying
the panel out without hardware.")
# dpkg-shlibdeps turns the programs' shared libraries (Qt 5 Core, Gui, Widgets, SerialPort, Svg,
# Qwt and the C++ runtime) into Depends with the versions the build saw.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
