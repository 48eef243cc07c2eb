# Windows install layout, the NSIS installer and the portable zip. The programs sit in one folder
# with every DLL they load: Qt's, Qwt's, the GCC runtime's, and the platform and style plugins
# Qt loads by name from the folders beside them.
install(TARGETS vornexcontrol vornexctl RUNTIME DESTINATION .)

foreach(module Core Gui Widgets Network SerialPort Svg)
    install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
endforeach()
install(FILES ${QWT_DLL} DESTINATION .)
install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION styles)

foreach(runtime libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    find_file(VORNEX_RUNTIME_${runtime} ${runtime} PATHS ${VORNEX_MINGW_RUNTIME_DIRS}
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT VORNEX_RUNTIME_${runtime})
        message(FATAL_ERROR "The MinGW runtime ${runtime} is not in ${VORNEX_MINGW_RUNTIME_DIRS}")
    endif()
    install(FILES ${VORNEX_RUNTIME_${runtime}} DESTINATION .)
    # Debian's copies keep their symbols: 22 MB of libstdc++ that no one runs.
    install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${runtime}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

# Qt then takes its plugins from the program's folder only, never from the folder Qt was built
# into, should a machine have one there.
install(FILES ${PROJECT_SOURCE_DIR}/resources/windows/qt.conf DESTINATION .)

# The licences of what the folder carries, in full, for the installer's licence page and beside
# the programs.
set(vornex_licences ${CMAKE_BINARY_DIR}/licences.txt)
file(READ ${PROJECT_SOURCE_DIR}/resources/windows/licences.txt vornex_licence_text)
foreach(licence "GNU Lesser General Public License version 3=/usr/share/common-licenses/LGPL-3"
                "GNU General Public License version 3=/usr/share/common-licenses/GPL-3"
                "Qwt License 1.0=${VORNEX_WIN_PREFIX}/share/qwt/COPYING")
    string(REGEX REPLACE "=.*" "" title "${licence}")
    string(REGEX REPLACE "^[^=]*=" "" path "${licence}")
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "The licence text ${path} is missing")
    endif()
    file(READ ${path} text)
    string(APPEND vornex_licence_text "\n\n${title}\n\n${text}")
endforeach()
file(WRITE ${vornex_licences}.new "${vornex_licence_text}")
configure_file(${vornex_licences}.new ${vornex_licences} COPYONLY)
install(FILES ${vornex_licences} DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME vornexcontrol)
set(CPACK_PACKAGE_VENDOR "VORNEXcontrol developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME vornexcontrol-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY VORNEXcontrol)
set(CPACK_PACKAGE_EXECUTABLES vornexcontrol VORNEXcontrol)
# The programs sit at the top of the install folder, not in bin.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_RESOURCE_FILE_LICENSE ${vornex_licences})
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

set(CPACK_NSIS_PACKAGE_NAME VORNEXcontrol)
set(CPACK_NSIS_DISPLAY_NAME "VORNEXcontrol ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALLED_ICON_NAME vornexcontrol.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/app/vornexcontrol.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/app/vornexcontrol.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it also runs where Windows (or Wine) has no 32-bit
# subsystem.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# 64-bit programs go to "Program Files", not "Program Files (x86)".
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_FINISHPAGE_RUN vornexcontrol.exe)
set(CPACK_NSIS_MODIFY_PATH OFF)

include(CPack)
