# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_cancellation SOURCES core/async/test_cancellation.cpp LABELS unit)
