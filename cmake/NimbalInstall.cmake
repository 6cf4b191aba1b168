# SPDX-License-Identifier: GPL-3.0-or-later
# What each program installs beside its binary. A program's manual pages sit in its own folder:
# NAME.SECTION in English, NAME.fr.SECTION in French.
include(GNUInstallDirs)

# nimbal_install_man_pages(<page>...): each page to man/manN, its ".fr." twin to man/fr/manN.
function(nimbal_install_man_pages)
    foreach(page IN LISTS ARGN)
        get_filename_component(name ${page} NAME)
        if(name MATCHES "\\.fr\\.([1-9])$")
            set(destination ${CMAKE_INSTALL_MANDIR}/fr/man${CMAKE_MATCH_1})
            string(REPLACE ".fr." "." installed ${name})
        elseif(name MATCHES "\\.([1-9])$")
            set(destination ${CMAKE_INSTALL_MANDIR}/man${CMAKE_MATCH_1})
            set(installed ${name})
        else()
            message(FATAL_ERROR "${page}: a manual page ends in its section (.1)")
        endif()
        install(FILES ${page} DESTINATION ${destination} RENAME ${installed})
    endforeach()
endfunction()
