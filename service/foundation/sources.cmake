# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ApiPaths.h
    ${CMAKE_CURRENT_LIST_DIR}/DataDirectory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DataDirectory.h
    ${CMAKE_CURRENT_LIST_DIR}/Database.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Database.h
    ${CMAKE_CURRENT_LIST_DIR}/DriveChangeHub.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DriveChangeHub.h
    ${CMAKE_CURRENT_LIST_DIR}/JsonHttp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JsonHttp.h
    ${CMAKE_CURRENT_LIST_DIR}/Lifetimes.h
    ${CMAKE_CURRENT_LIST_DIR}/Schema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Schema.h
    ${CMAKE_CURRENT_LIST_DIR}/Secrets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Secrets.h
    ${CMAKE_CURRENT_LIST_DIR}/ServiceClock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceClock.h
    ${CMAKE_CURRENT_LIST_DIR}/ServiceConfig.h
    ${CMAKE_CURRENT_LIST_DIR}/Utf8.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Utf8.h
)
