# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of ours compiles with the same strict warnings, and a warning fails the build.
function(nimbal_strict_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                             -Woverloaded-virtual -Werror)
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                 QT_NO_URL_CAST_FROM_STRING
                                                 QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()
