# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    errors/DriveError.cpp
    errors/DriveError.h
    errors/FileError.cpp
    errors/FileError.h
    errors/HttpErrorMapping.cpp
    errors/HttpErrorMapping.h
)
