# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Accounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Accounts.h
    ${CMAKE_CURRENT_LIST_DIR}/AuthRoutes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AuthSchema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Authentication.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Authentication.h
    ${CMAKE_CURRENT_LIST_DIR}/PasswordHash.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordHash.h
    ${CMAKE_CURRENT_LIST_DIR}/RateLimiter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RateLimiter.h
    ${CMAKE_CURRENT_LIST_DIR}/RecoveryCodes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecoveryCodes.h
    ${CMAKE_CURRENT_LIST_DIR}/SignInThrottle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SignInThrottle.h
    ${CMAKE_CURRENT_LIST_DIR}/Tokens.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tokens.h
    ${CMAKE_CURRENT_LIST_DIR}/Totp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Totp.h
)
