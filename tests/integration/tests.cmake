# SPDX-License-Identifier: GPL-3.0-or-later
# The core client against the real local service and the real Secret Service.
nimbal_add_test(test_sign_in SOURCES integration/test_sign_in.cpp LIBS PkgConfig::HTTPLIB
                LABELS integration)
nimbal_add_test(test_request_retries SOURCES integration/test_request_retries.cpp
                LABELS integration)
nimbal_add_test(test_live_events SOURCES integration/test_live_events.cpp LABELS integration)
nimbal_add_test(test_service_drive SOURCES integration/test_service_drive.cpp LABELS integration)
nimbal_add_test(test_service_uploads SOURCES integration/test_service_uploads.cpp
                LABELS integration)
# The application's model against the service, with the file-provider system in memory.
nimbal_add_test(test_app_model SOURCES integration/test_app_model.cpp LIBS NimbalAppTestSupport
                LABELS integration)
