# SPDX-License-Identifier: GPL-3.0-or-later
# Software updates: the signed release feed, its schedule and the safe install.

# What the updater compiles in. Production values are the defaults; ./run points the feed at the
# local service.
set(NIMBAL_UPDATE_FEED_URL "https://nimbal.orvelan.net/updates/linux/appcast.xml"
    CACHE STRING "Address of the release feed")
set(NIMBAL_UPDATE_PUBLIC_KEY ""
    CACHE STRING "Ed25519 key that signs releases: the base64 body of `openssl pkey -pubout`; \
empty, a key pair made for this build tree")
set(NIMBAL_BUILD_NUMBER "" CACHE STRING "Build number shown after the version (\"?\" when empty)")
# A distribution's archive brings its own updates: its build turns this off, and the application
# then reads no feed and offers no update.
option(NIMBAL_SELF_UPDATE "The application updates itself from the signed release feed" ON)

# Without a release key, this build tree gets a key pair of its own, so that the demo and the
# tests can sign releases. The private half stays in the build tree, never in the sources.
if(NOT NIMBAL_SELF_UPDATE)
    set(nimbal_update_public_key "")
elseif(NIMBAL_UPDATE_PUBLIC_KEY)
    set(nimbal_update_public_key "${NIMBAL_UPDATE_PUBLIC_KEY}")
    unset(NIMBAL_UPDATE_SIGNING_KEY CACHE)
else()
    find_program(NIMBAL_OPENSSL_PROGRAM openssl)
    if(NOT NIMBAL_OPENSSL_PROGRAM)
        message(FATAL_ERROR "openssl is needed to make this build's release signing key "
                            "(or give NIMBAL_UPDATE_PUBLIC_KEY)")
    endif()
    set(NIMBAL_UPDATE_SIGNING_KEY "${CMAKE_BINARY_DIR}/updates/update-signing-key.pem"
        CACHE INTERNAL "Private key that signs this build tree's demo and test releases")
    if(NOT EXISTS "${NIMBAL_UPDATE_SIGNING_KEY}")
        file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/updates")
        execute_process(
            COMMAND "${NIMBAL_OPENSSL_PROGRAM}" genpkey -algorithm ed25519
                    -out "${NIMBAL_UPDATE_SIGNING_KEY}"
            COMMAND_ERROR_IS_FATAL ANY)
        file(CHMOD "${NIMBAL_UPDATE_SIGNING_KEY}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
    endif()
    execute_process(
        COMMAND "${NIMBAL_OPENSSL_PROGRAM}" pkey -in "${NIMBAL_UPDATE_SIGNING_KEY}" -pubout
        OUTPUT_VARIABLE public_pem
        COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "-----[A-Z ]+-----|\n" "" nimbal_update_public_key "${public_pem}")
endif()

# Only this file sees the values, so that changing one recompiles one file.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/UpdateConfiguration.cpp PROPERTIES
    COMPILE_DEFINITIONS "NIMBAL_SELF_UPDATE=$<BOOL:${NIMBAL_SELF_UPDATE}>;NIMBAL_VERSION=\"${PROJECT_VERSION}\";NIMBAL_BUILD_NUMBER=\"${NIMBAL_BUILD_NUMBER}\";NIMBAL_UPDATE_FEED_URL=\"${NIMBAL_UPDATE_FEED_URL}\";NIMBAL_UPDATE_PUBLIC_KEY=\"${nimbal_update_public_key}\"")

target_sources(Orvelan_Nimbal PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Appcast.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Appcast.h
    ${CMAKE_CURRENT_LIST_DIR}/AppImageReplacement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppImageReplacement.h
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseServer.h
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseSignature.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReleaseSignature.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateConfiguration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateConfiguration.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateDesktop.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateError.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateInstallation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateInstallation.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateLogging_p.h
    ${CMAKE_CURRENT_LIST_DIR}/Updater.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Updater.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateVersion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateVersion.h
    ${CMAKE_CURRENT_LIST_DIR}/XdgUpdateDesktop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XdgUpdateDesktop.h
)
# Signatures are checked with libcrypto, on a worker thread.
target_link_libraries(Orvelan_Nimbal PRIVATE OpenSSL::Crypto Qt6::Concurrent)
