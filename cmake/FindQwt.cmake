# Finds Qwt 6 built for Qt 5 and defines the imported target Qwt::Qwt.
#
# Looks where the packages put it: Debian's libqwt-qt5-dev (include/qwt, libqwt-qt5.so), MSYS2's
# mingw-w64-*-qwt-qt5 (include/qwt-qt5, libqwt-qt5.dll.a) and a Qwt built from its own project
# files (include, qwt.lib); point CMAKE_PREFIX_PATH at another installation.
find_path(QWT_INCLUDE_DIR qwt_plot.h PATH_SUFFIXES qwt qwt-qt5 qt5/qwt)
find_library(QWT_LIBRARY NAMES qwt-qt5 qwt)

if(QWT_INCLUDE_DIR AND EXISTS "${QWT_INCLUDE_DIR}/qwt_global.h")
    file(STRINGS "${QWT_INCLUDE_DIR}/qwt_global.h" qwt_version_line
         REGEX "^#define[ \t]+QWT_VERSION_STR[ \t]+\"[0-9.]+\"")
    string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" Qwt_VERSION "${qwt_version_line}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Qwt REQUIRED_VARS QWT_LIBRARY QWT_INCLUDE_DIR
                                  VERSION_VAR Qwt_VERSION)
mark_as_advanced(QWT_INCLUDE_DIR QWT_LIBRARY)

if(Qwt_FOUND AND NOT TARGET Qwt::Qwt)
    add_library(Qwt::Qwt UNKNOWN IMPORTED)
    set_target_properties(Qwt::Qwt PROPERTIES
        IMPORTED_LOCATION "${QWT_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${QWT_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES Qt5::Widgets)
    # The Windows packages ship Qwt as a DLL, whose headers then declare their imports.
    if(WIN32)
        set_property(TARGET Qwt::Qwt PROPERTY INTERFACE_COMPILE_DEFINITIONS QWT_DLL)
    endif()
endif()

# The DLL itself, for installing beside the programs: next to the import library or in bin.
if(WIN32 AND Qwt_FOUND)
    get_filename_component(qwt_library_dir "${QWT_LIBRARY}" DIRECTORY)
    find_file(QWT_DLL NAMES qwt.dll qwt-qt5.dll libqwt-qt5.dll
              HINTS "${qwt_library_dir}" "${qwt_library_dir}/../bin")
    mark_as_advanced(QWT_DLL)
endif()
