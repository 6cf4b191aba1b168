# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    config/ComputerName.cpp
    config/ComputerName.h
    config/CoreLogging.cpp
    config/CoreLogging.h
    config/DriveConfiguration.h
    config/LogFile.cpp
    config/LogFile.h
    config/OrvelanNimbal.cpp
    config/OrvelanNimbal.h
    config/PlatformWords.h
    config/ServiceEndpoints.cpp
    config/ServiceEndpoints.h
)
