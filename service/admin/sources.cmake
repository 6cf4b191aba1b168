# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AdminRoutes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FaultInjector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FaultInjector.h
    ${CMAKE_CURRENT_LIST_DIR}/RequestLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RequestLog.h
)
