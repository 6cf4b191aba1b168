# SPDX-License-Identifier: GPL-3.0-or-later
# The updater: its feed, signatures, schedule and installs, then against the local service.
add_library(NimbalUpdateTesting STATIC app/updates/OpensslSigner.cpp app/updates/OpensslSigner.h
                                       app/updates/UpdaterHarness.h)
nimbal_strict_warnings(NimbalUpdateTesting)
target_include_directories(NimbalUpdateTesting PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/app/updates)
target_link_libraries(NimbalUpdateTesting PUBLIC NimbalTestSupport Orvelan_Nimbal)
# Tests that sign with the build tree's own key, when it has one.
if(NIMBAL_UPDATE_SIGNING_KEY)
    target_compile_definitions(NimbalUpdateTesting
        PUBLIC NIMBAL_UPDATE_SIGNING_KEY="${NIMBAL_UPDATE_SIGNING_KEY}")
endif()

nimbal_add_test(test_update_feed SOURCES app/updates/test_update_feed.cpp
                LIBS NimbalUpdateTesting LABELS unit)
nimbal_add_test(test_release_signature SOURCES app/updates/test_release_signature.cpp
                LIBS NimbalUpdateTesting LABELS unit)
nimbal_add_test(test_updater SOURCES app/updates/test_updater.cpp
                LIBS NimbalUpdateTesting LABELS unit)
nimbal_add_test(test_update_service SOURCES app/updates/test_update_service.cpp
                LIBS NimbalUpdateTesting LABELS integration)

