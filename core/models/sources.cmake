# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    models/DriveDTOs.h
    models/DriveModels.h
    models/ItemIdentifier.h
    models/SmallDTOs.cpp
    models/StorageClass.h
)
