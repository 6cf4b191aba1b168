# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_api_client SOURCES core/client/test_api_client.cpp LABELS unit)
