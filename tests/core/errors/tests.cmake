# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_drive_error SOURCES core/errors/test_drive_error.cpp LABELS unit)
