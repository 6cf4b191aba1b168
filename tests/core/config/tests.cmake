# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_shared_container SOURCES core/config/test_shared_container.cpp LABELS unit)
nimbal_add_test(test_log_file SOURCES core/config/test_log_file.cpp LABELS unit)
