# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/EventStreamControls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventStreamRoutes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventStreams.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventStreams.h
    ${CMAKE_CURRENT_LIST_DIR}/OpenStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OpenStream.h
    ${CMAKE_CURRENT_LIST_DIR}/StreamTiming.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StreamTiming.h
)
