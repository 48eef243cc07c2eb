# vornex_add_version_info(<target> <description>)
# Gives a Windows executable its version information, file and product version being the
# project's.
function(vornex_add_version_info target description)
    set(VORNEX_RC_NAME ${target})
    set(VORNEX_RC_FILE ${target}.exe)
    set(VORNEX_RC_DESCRIPTION "${description}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/resources/app/versioninfo.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
