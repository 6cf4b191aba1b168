# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_model_sign_in SOURCES app/model/test_model_sign_in.cpp
                LIBS NimbalAppTestSupport LABELS unit)
nimbal_add_test(test_model_live_sync SOURCES app/model/test_model_live_sync.cpp
                LIBS NimbalAppTestSupport LABELS unit)
nimbal_add_test(test_model_approvals SOURCES app/model/test_model_approvals.cpp
                LIBS NimbalAppTestSupport LABELS unit)
