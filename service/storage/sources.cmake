# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ContentStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContentStore.h
    ${CMAKE_CURRENT_LIST_DIR}/ContentDigest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContentDigest.h
    ${CMAKE_CURRENT_LIST_DIR}/FileAnswer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileAnswer.h
    ${CMAKE_CURRENT_LIST_DIR}/FileWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileWriter.h
    ${CMAKE_CURRENT_LIST_DIR}/Presigning.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Presigning.h
    ${CMAKE_CURRENT_LIST_DIR}/StorageRoutes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StreamedFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StreamedFile.h
    ${CMAKE_CURRENT_LIST_DIR}/UrlSigner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UrlSigner.h
)
