# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/PublishReleaseCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PublishReleaseCommand.h
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseFeed.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseFeed.h
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseSchema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Releases.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Releases.h
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseSigning.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseSigning.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateRoutes.cpp
)
