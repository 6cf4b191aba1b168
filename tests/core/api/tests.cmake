# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_drive_api
    SOURCES core/api/test_drive_api.cpp core/api/DriveAPIHarness.h LABELS unit)
nimbal_add_test(test_uploads
    SOURCES core/api/test_uploads.cpp core/api/FakeUploadService.cpp core/api/FakeUploadService.h
    LABELS unit)
nimbal_add_test(test_upload_failures
    SOURCES core/api/test_upload_failures.cpp core/api/FakeUploadService.cpp
            core/api/FakeUploadService.h
    LABELS unit)
