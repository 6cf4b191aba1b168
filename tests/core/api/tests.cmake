# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_drive_api_read
                SOURCES core/api/DriveAPIHarness.h core/api/test_drive_api_read.cpp LABELS unit)
nimbal_add_test(test_drive_api_items
                SOURCES core/api/DriveAPIHarness.h core/api/test_drive_api_items.cpp LABELS unit)
