# SPDX-License-Identifier: GPL-3.0-or-later
# nimbal_library_headers(<library>)
# Call once the library's sources are all listed. The library's folder stays on its own include
# path, but its users see only a tree of links to its public headers: a private header (*_p.h)
# cannot be reached from outside the library, not even by accident. A test that has to reach
# one links <library>Private, which says so where the test is declared.
function(nimbal_library_headers library)
    get_target_property(sources ${library} SOURCES)
    set(public_root ${CMAKE_CURRENT_BINARY_DIR}/public_headers)
    # Made anew at each configure, so that a header renamed or made private leaves no link behind.
    file(REMOVE_RECURSE ${public_root})
    foreach(source IN LISTS sources)
        if(source MATCHES "\\.h$" AND NOT source MATCHES "_p\\.h$")
            get_filename_component(folder ${source} DIRECTORY)
            file(MAKE_DIRECTORY ${public_root}/${folder})
            file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${public_root}/${source}
                 SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${library} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                          INTERFACE ${public_root})

    add_library(${library}Private INTERFACE)
    target_include_directories(${library}Private INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${library}Private INTERFACE ${library})
endfunction()
