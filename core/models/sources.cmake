# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    models/DriveModels.h
    models/ItemIdentifier.h
    models/StorageClass.h
)
