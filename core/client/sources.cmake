# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    client/ApiClient.cpp
    client/ApiClient.h
    client/Cancellation.cpp
    client/Cancellation.h
    client/Clock.h
    client/HTTPTransport.h
    client/HttpMessage.cpp
    client/HttpMessage.h
    client/JsonArrayPieces.cpp
    client/JsonDecoding.h
    client/JsonValue.cpp
    client/JsonRecord_p.h
    client/JsonValue_p.h
    client/MultipartForm.cpp
    client/MultipartForm.h
    client/NetworkAccessTransport.cpp
    client/NetworkAccessTransport.h
    client/OffMainThread_p.h
    client/RequestBody.cpp
    client/RequestBody.h
    client/SystemClock.cpp
    client/Wakeup.h
)
