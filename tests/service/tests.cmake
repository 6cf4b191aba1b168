# SPDX-License-Identifier: GPL-3.0-or-later
# The local service's own parts, without a server: codes, limits, the store.
nimbal_add_test(test_totp SOURCES service/test_totp.cpp LABELS unit)
nimbal_link_service(test_totp)
nimbal_add_test(test_rate_limiter SOURCES service/test_rate_limiter.cpp LABELS unit)
nimbal_link_service(test_rate_limiter)
nimbal_add_test(test_service_store SOURCES service/test_service_store.cpp LABELS unit)
nimbal_link_service(test_service_store)
nimbal_add_test(test_event_streams SOURCES service/test_event_streams.cpp LABELS unit)
nimbal_link_service(test_event_streams)
nimbal_add_test(test_drive_store SOURCES service/test_drive_store.cpp LABELS unit)
nimbal_link_service(test_drive_store)
