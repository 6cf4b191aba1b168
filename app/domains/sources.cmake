# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(Orvelan_Nimbal PRIVATE
    domains/DomainController.cpp
    domains/DomainController.h
    domains/FileProviderFailure.h
    domains/FileProviderSystem.h
    domains/FirstOnly.h
    domains/SystemReply_p.h
)
