# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    bus/FileProviderBus.cpp
    bus/FileProviderBus.h
)
