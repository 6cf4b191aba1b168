# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of ours compiles with the same strict warnings. They fail the build only where we
# ask for it (./run and CI turn NIMBAL_WARNINGS_AS_ERRORS on): a packager's build with another
# compiler or other flags must not stop on a warning we have never seen.
function(nimbal_strict_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                             -Woverloaded-virtual)
    if(NIMBAL_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            # GCC 12 sees overlapping copies inside std::string's own inlined code at -O3
            # (a known false positive of that release): the warning stays, but cannot fail an
            # optimised build.
            target_compile_options(${target} PRIVATE -Wno-error=restrict)
        endif()
    endif()
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                 QT_NO_URL_CAST_FROM_STRING
                                                 QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()
