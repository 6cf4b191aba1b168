# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    auth/DriveSession.cpp
    auth/DriveSession.h
    auth/InMemoryStores.cpp
    auth/InMemoryStores.h
    auth/KeychainError.cpp
    auth/KeychainError.h
    auth/KeychainStores.cpp
    auth/KeychainStores.h
    auth/LoginDTOs.cpp
    auth/LoginDTOs.h
    auth/SessionStoring.h
    auth/SignInMessages.h
    auth/TrustedDeviceStoring.h
    auth/TwoFactor.cpp
    auth/TwoFactor.h
)
