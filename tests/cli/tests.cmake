# SPDX-License-Identifier: GPL-3.0-or-later
# nimbal: its command line, its answers and its failures over doubles; then the program itself
# against the real service, keychain and extension on a private bus.
nimbal_add_test(test_cli_command_line SOURCES cli/test_cli_command_line.cpp
                LIBS NimbalCommandLine LABELS unit)

add_library(NimbalCliTestSupport STATIC cli/NimbalProgram.cpp cli/NimbalProgram.h)
nimbal_strict_warnings(NimbalCliTestSupport)
target_include_directories(NimbalCliTestSupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/cli)
target_link_libraries(NimbalCliTestSupport PUBLIC Qt6::Core)
target_compile_definitions(NimbalCliTestSupport PRIVATE NIMBAL_PROGRAM="$<TARGET_FILE:nimbal>")
add_dependencies(NimbalCliTestSupport nimbal)

nimbal_add_test(test_cli_commands SOURCES cli/test_cli_commands.cpp
                LIBS NimbalCliTestSupport NimbalFileProviderTestSupport LABELS integration)
