# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(Orvelan_Nimbal PRIVATE
    model/AppEnvironment.h
    model/AppModel.cpp
    model/AppModel.h
    model/AppModelApprovals.cpp
    model/AppModelDrive.cpp
    model/AppModelLive.cpp
    model/AppModelPause.cpp
    model/AppStatus.cpp
    model/AppStatus.h
    model/DesktopEnvironment.cpp
    model/Guarded.h
    model/ModelValues.h
    model/PanelModel.cpp
    model/PanelModel.h
)
