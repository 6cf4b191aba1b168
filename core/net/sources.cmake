# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    net/BodyReader.cpp
    net/BodyReader_p.h
    net/CurlErrors.cpp
    net/CurlErrors_p.h
    net/CurlMulti.cpp
    net/CurlMulti_p.h
    net/CurlTransfer.cpp
    net/CurlTransfer_p.h
    net/CurlTransport.cpp
    net/CurlTransport.h
    net/HTTPTransport.h
    net/HttpBody.cpp
    net/HttpBody.h
    net/HttpMessage.cpp
    net/HttpMessage.h
    net/MultipartForm.cpp
    net/MultipartForm.h
    net/RequestBody.cpp
    net/RequestBody.h
)
