# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(OrvelanNimbalCore PRIVATE
    models/AmountTexts.cpp
    models/AmountTexts.h
    models/DriveDTOs.h
    models/DriveDownload.cpp
    models/DriveFile.cpp
    models/DriveModels.h
    models/ItemIdentifier.cpp
    models/ItemIdentifier.h
    models/ListingDTOs.cpp
    models/SmallDTOs.cpp
    models/StorageClass.cpp
    models/StorageClass.h
    models/WireConversions.cpp
    models/WireConversions.h
    models/WireListings.cpp
    models/WireListings.h
)
