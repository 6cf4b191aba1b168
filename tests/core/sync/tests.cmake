# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_domain_summary SOURCES core/sync/test_domain_summary.cpp LABELS unit)
