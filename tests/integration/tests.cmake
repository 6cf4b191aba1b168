# SPDX-License-Identifier: GPL-3.0-or-later
# The core client against the real local service and the real Secret Service.
nimbal_add_test(test_sign_in SOURCES integration/test_sign_in.cpp LABELS integration)
nimbal_add_test(test_session_renewal SOURCES integration/test_session_renewal.cpp
                LABELS integration)
nimbal_add_test(test_request_retries SOURCES integration/test_request_retries.cpp
                LABELS integration)
nimbal_add_test(test_live_events SOURCES integration/test_live_events.cpp LABELS integration)
nimbal_add_test(test_event_stream_service SOURCES integration/test_event_stream_service.cpp
                LIBS PkgConfig::HTTPLIB LABELS integration)
nimbal_add_test(test_drive_reading SOURCES integration/test_drive_reading.cpp LABELS integration)
nimbal_add_test(test_drive_items SOURCES integration/test_drive_items.cpp LABELS integration)
nimbal_add_test(test_drive_content SOURCES integration/test_drive_content.cpp LABELS integration)
nimbal_add_test(test_service_uploads SOURCES integration/test_service_uploads.cpp
                LABELS integration)
nimbal_add_test(test_service_upload_failures SOURCES integration/test_service_upload_failures.cpp
                LABELS integration)
