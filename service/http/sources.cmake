# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BodyRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BodyRules.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionEnd.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionEnd.h
    ${CMAKE_CURRENT_LIST_DIR}/HttpService.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HttpService.h
    ${CMAKE_CURRENT_LIST_DIR}/OpenFileLimit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OpenFileLimit.h
)
