# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalTestSupport PRIVATE
    support/AsyncTest.h
    support/DriveErrorTesting.h
    support/DriveModelsTesting.h
    support/FakeTransport.cpp
    support/FakeTransport.h
    support/ManualClock.cpp
    support/ManualClock.h
)
