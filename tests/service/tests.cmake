# SPDX-License-Identifier: GPL-3.0-or-later
# The local service's own parts, without a server: codes, limits, the store, what it reads.
foreach(name test_totp test_rate_limiter test_service_store test_event_streams test_drive_store
        test_body_rules test_request_parsing test_upload_expiry test_upload_parts)
    nimbal_add_test(${name} SOURCES service/${name}.cpp LIBS NimbalService LABELS unit)
endforeach()

# The running service under abuse, spoken to by hand over raw sockets.
add_library(NimbalRawHttp STATIC service/RawHttp.cpp service/RawHttp.h)
nimbal_strict_warnings(NimbalRawHttp)
target_include_directories(NimbalRawHttp PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/service)
target_link_libraries(NimbalRawHttp PUBLIC NimbalTestSupport)
foreach(name test_service_limits test_service_fairness test_service_restart test_service_parsing
        test_service_multipart)
    nimbal_add_test(${name} SOURCES service/${name}.cpp LIBS NimbalRawHttp LABELS integration)
endforeach()
