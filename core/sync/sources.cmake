# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    sync/DomainSummary.cpp
    sync/DomainSummary.h
    sync/DomainSummaryFile.cpp
    sync/ReplacePrecondition.h
)
