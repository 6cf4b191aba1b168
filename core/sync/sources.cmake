# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    sync/ContentHasher.cpp
    sync/ContentHasher.h
    sync/ContentVersion.cpp
    sync/ContentVersion.h
    sync/DomainSummary.cpp
    sync/DomainSummary.h
    sync/DomainSummaryFile.cpp
    sync/FileProviderDomain.h
    sync/PauseText.cpp
    sync/PauseText.h
    sync/ReplacePrecondition.h
    sync/SyncNaming.cpp
    sync/SyncNaming.h
)
