# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    net/HTTPTransport.h
    net/HttpMessage.cpp
    net/HttpMessage.h
    net/IdleConnections.cpp
    net/IdleConnections_p.h
    net/MultipartForm.cpp
    net/MultipartForm.h
    net/NetworkAccessTransport.cpp
    net/NetworkAccessTransport.h
    net/OwnConnectionRequest.cpp
    net/OwnConnectionRequest_p.h
    net/RequestBody.cpp
    net/RequestBody.h
    net/ResponseReader.cpp
    net/ResponseReader_p.h
)
