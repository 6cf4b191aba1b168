# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    api/DriveAPI.cpp
    api/DriveAPI.h
    api/DriveAPI_download.cpp
    api/DriveAPI_items.cpp
    api/DriveAPI_read.cpp
    api/DriveAPI_thumbnails.cpp
    api/OffThreadDecoding_p.h
)
