# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_multipart_form SOURCES core/net/test_multipart_form.cpp LABELS unit)
nimbal_add_test(test_network_transport SOURCES core/net/test_network_transport.cpp LABELS unit)
nimbal_add_test(test_response_reader SOURCES core/net/test_response_reader.cpp
                LIBS OrvelanNimbalCorePrivate LABELS unit)
