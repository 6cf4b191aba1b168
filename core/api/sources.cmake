# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    api/DirectUpload.cpp
    api/DownloadTarget.cpp
    api/DownloadTarget_p.h
    api/DriveAPI.cpp
    api/DriveAPI.h
    api/DriveAPI_download.cpp
    api/DriveAPI_items.cpp
    api/DriveAPI_read.cpp
    api/DriveAPI_thumbnails.cpp
    api/DriveAPI_uploads.cpp
    api/MultipartUpload.cpp
    api/OffThreadDecoding_p.h
    api/PartLoop.cpp
    api/PartLoop_p.h
    api/UploadForms.cpp
    api/UploadForms_p.h
    api/UploadPaths_p.h
    api/UploadResults.cpp
    api/UploadResults_p.h
    api/UploadSource.cpp
    api/UploadSource_p.h
)
