# vornex_add_room(<target> <sources...>)
#
# The static library of one folder (a room). It exports only its own headers, under the folder's
# path ("link/devicelink.h"): its include root is a folder of the build tree that holds nothing
# but a link to the room. A file can then include only from rooms its target links, and an
# include from any other room fails to build. Where the system refuses symbolic links, the
# repository root is exported instead, and that check is off for the build.
function(vornex_add_room target)
    add_library(${target} STATIC ${ARGN})
    file(RELATIVE_PATH room ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${PROJECT_BINARY_DIR}/rooms/${target})
    get_filename_component(parent ${root}/${room} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${room} RESULT linked SYMBOLIC)
    if(NOT linked EQUAL 0)
        message(WARNING "${target}: ${linked}; includes across rooms are not checked")
        set(root ${PROJECT_SOURCE_DIR})
    endif()
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PRIVATE vornex_warnings)
endfunction()
