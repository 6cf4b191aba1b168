# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_model_sign_in SOURCES app/model/test_model_sign_in.cpp
                LIBS NimbalAppTestSupport LABELS unit)
nimbal_add_test(test_model_live_sync SOURCES app/model/test_model_live_sync.cpp
                LIBS NimbalAppTestSupport LABELS unit)
nimbal_add_test(test_model_approvals SOURCES app/model/test_model_approvals.cpp
                LIBS NimbalAppTestSupport LABELS unit)
# The panel's side of the model: read and called through the QML engine.
find_package(Qt6 6.4 REQUIRED COMPONENTS Qml)
nimbal_add_test(test_model_qml_surface SOURCES app/model/test_model_qml_surface.cpp
                LIBS NimbalAppTestSupport Orvelan_Nimbalplugin Qt6::Qml LABELS unit)
