# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BodyRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BodyRules.h
    ${CMAKE_CURRENT_LIST_DIR}/Connection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Connection.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionLoop.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionStream.h
    ${CMAKE_CURRENT_LIST_DIR}/OpenFileLimit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OpenFileLimit.h
    ${CMAKE_CURRENT_LIST_DIR}/PushedBody.h
    ${CMAKE_CURRENT_LIST_DIR}/RequestServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RequestServer.h
)
