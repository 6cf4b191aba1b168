# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_api_client SOURCES core/client/test_api_client.cpp LABELS unit)
nimbal_add_test(test_cancellation SOURCES core/client/test_cancellation.cpp LABELS unit)
nimbal_add_test(test_multipart_form SOURCES core/client/test_multipart_form.cpp LABELS unit)
nimbal_add_test(test_network_transport SOURCES core/client/test_network_transport.cpp LABELS unit)
nimbal_add_test(test_response_reader SOURCES core/client/test_response_reader.cpp LABELS unit)
