# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(Orvelan_Nimbal PRIVATE
    system/Desktop.h
    system/ExtensionTool.cpp
    system/ExtensionTool.h
    system/Logging.cpp
    system/Logging.h
    system/LoginItem.h
    system/Preferences.cpp
    system/Preferences.h
    system/SessionDesktop.cpp
    system/WakeNotifier.cpp
    system/WakeNotifier.h
    system/XdgAutostartEntry.cpp
    system/XdgAutostartEntry.h
)
