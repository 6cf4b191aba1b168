# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    models/DriveDTOs.h
    models/DriveDownload.cpp
    models/DriveModels.h
    models/ItemIdentifier.h
    models/SmallDTOs.cpp
    models/StorageClass.cpp
    models/StorageClass.h
    models/WireConversions.h
)
