# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AddAccountCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
    ${CMAKE_CURRENT_LIST_DIR}/OptionParsing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OptionParsing.h
    ${CMAKE_CURRENT_LIST_DIR}/ServeCommand.cpp
)
