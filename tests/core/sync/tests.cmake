# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_content_hasher SOURCES core/sync/test_content_hasher.cpp LABELS unit)
nimbal_add_test(test_content_version SOURCES core/sync/test_content_version.cpp LABELS unit)
nimbal_add_test(test_domain_summary SOURCES core/sync/test_domain_summary.cpp LABELS unit)
nimbal_add_test(test_sync_naming SOURCES core/sync/test_sync_naming.cpp LABELS unit)
nimbal_add_test(test_pause_text SOURCES core/sync/test_pause_text.cpp LABELS unit)
