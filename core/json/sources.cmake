# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    json/JsonArrayPieces.cpp
    json/JsonDecoding.h
    json/JsonRecord_p.h
    json/JsonValue.cpp
    json/JsonValue_p.h
    json/Utf8Text.h
)
