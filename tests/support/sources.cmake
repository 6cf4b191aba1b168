# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalTestSupport PRIVATE
    support/AsyncTest.h
    support/ClientHarness.h
    support/DriveErrorTesting.h
    support/DriveModelsTesting.h
    support/EventStatusTesting.h
    support/FakeTransport.cpp
    support/FakeTransport.h
    support/LocalService.cpp
    support/LocalService.h
    support/ManualClock.cpp
    support/ManualClock.h
    support/OathTool.cpp
    support/OathTool.h
    support/ScriptedPeer.h
    support/ServiceTest.cpp
    support/ServiceTest.h
)
# The test controls of the local service are called with a plain client of their own.
target_link_libraries(NimbalTestSupport PRIVATE PkgConfig::HTTPLIB)
