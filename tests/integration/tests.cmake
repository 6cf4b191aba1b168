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
nimbal_add_test(test_service_downloads SOURCES integration/test_service_downloads.cpp
                LABELS integration)
nimbal_add_test(test_core_logging SOURCES integration/test_core_logging.cpp LABELS integration)

# The real application under Xvfb, driven through the accessibility tree (AT-SPI) as a
# screen-reader user would, against the service it was built for.
if(TARGET orvelan-nimbal AND NIMBAL_API_BASE_URL MATCHES "^http://127\\.0\\.0\\.1:([0-9]+)/")
    set(extension_services "")
    if(TARGET nimbal-fileprovider)
        set(extension_services "${CMAKE_BINARY_DIR}/fileprovider/dbus-services")
    endif()
    add_test(NAME test_panel_accessibility
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/integration/run_panel_accessibility.sh
                     $<TARGET_FILE:orvelan-nimbal> $<TARGET_FILE:nimbal-service>
                     ${CMAKE_MATCH_1} ${extension_services})
    set_tests_properties(test_panel_accessibility PROPERTIES
        ENVIRONMENT "LC_ALL=C.UTF-8;TZ=UTC" LABELS integration SKIP_RETURN_CODE 77
        RESOURCE_LOCK demo-port)
endif()
# The application's model against the service, with the file-provider system in memory.
nimbal_add_test(test_app_model SOURCES integration/test_app_model.cpp LIBS NimbalAppTestSupport
                LABELS integration)
# Every gap ends with a read of the drive: the real extension on a bus of the test's own, killed
# and started again, and the live stream dropped under the model.
if(TARGET NimbalExtensionTestSupport)
    nimbal_add_test(test_app_catch_up SOURCES integration/test_app_catch_up.cpp
                    LIBS NimbalExtensionTestSupport NimbalAppTestSupport LABELS integration)
endif()
