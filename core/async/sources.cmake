# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    async/Cancellation.cpp
    async/Cancellation.h
    async/Clock.h
    async/OffMainThread.h
    async/SystemClock.cpp
    async/Wakeup.h
)
