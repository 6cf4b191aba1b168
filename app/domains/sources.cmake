# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(Orvelan_Nimbal PRIVATE
    domains/DBusFileProviderSystem.cpp
    domains/DBusFileProviderSystem.h
    domains/DomainController.cpp
    domains/DomainController.h
    domains/FileProviderFailure.h
    domains/FileProviderSystem.h
)

# The extension's side of the bus is generated from the same description (fileprovider/dbus).
set(fileprovider_interface ${PROJECT_SOURCE_DIR}/fileprovider/dbus/net.orvelan.nimbal.FileProvider1.xml)
set_source_files_properties(${fileprovider_interface} PROPERTIES
    INCLUDE bus/FileProviderBus.h CLASSNAME FileProvider1Proxy NO_NAMESPACE ON)
set(fileprovider_proxy_sources)
qt_add_dbus_interface(fileprovider_proxy_sources ${fileprovider_interface} fileprovider1proxy)
target_sources(Orvelan_Nimbal PRIVATE ${fileprovider_proxy_sources})
target_include_directories(Orvelan_Nimbal PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
