# SPDX-License-Identifier: GPL-3.0-or-later
add_library(NimbalAppTestSupport STATIC
    app/support/EventLoopWaits.h
    app/support/InMemoryFileProviderSystem.cpp
    app/support/InMemoryFileProviderSystem.h
    app/support/LogCapture.cpp
    app/support/LogCapture.h
    app/support/ModelDoubles.h
    app/support/ModelHarness.cpp
    app/support/ModelHarness.h
)
nimbal_strict_warnings(NimbalAppTestSupport)
target_include_directories(NimbalAppTestSupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/app/support)
target_link_libraries(NimbalAppTestSupport PUBLIC NimbalTestSupport Orvelan_Nimbal)
