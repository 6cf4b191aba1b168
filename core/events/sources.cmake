# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    events/DriveEventStream.cpp
    events/DriveEventStream.h
    events/EventStreamConnection.cpp
    events/EventStreamConnection_p.h
    events/SSEParser.cpp
    events/SSEParser.h
    events/ServerSentEvent.h
)
