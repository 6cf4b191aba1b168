# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    config/CoreLogging.cpp
    config/CoreLogging.h
    config/DriveConfiguration.h
    config/OrvelanNimbal.cpp
    config/OrvelanNimbal.h
    config/PlatformWords.h
)
