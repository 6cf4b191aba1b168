# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    client/ApiClient.cpp
    client/ApiClient.h
    client/ApiClientLogin.cpp
    client/SharedResult_p.h
)
