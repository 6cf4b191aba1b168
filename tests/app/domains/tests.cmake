# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_domain_controller SOURCES app/domains/test_domain_controller.cpp
                LIBS NimbalAppTestSupport LABELS unit)
