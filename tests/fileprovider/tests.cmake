# SPDX-License-Identifier: GPL-3.0-or-later
# The file-provider extension: its decisions over fakes, and the daemon on a private bus against
# the real service, keychain and folders.
add_library(NimbalFileProviderTestSupport STATIC
    fileprovider/EngineHarness.cpp
    fileprovider/EngineHarness.h
    fileprovider/FakeDrive.cpp
    fileprovider/FakeDrive.h
)
nimbal_strict_warnings(NimbalFileProviderTestSupport)
target_include_directories(NimbalFileProviderTestSupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/fileprovider)
target_link_libraries(NimbalFileProviderTestSupport PUBLIC NimbalFileProvider NimbalTestSupport)

nimbal_add_test(test_sync_engine SOURCES fileprovider/test_sync_engine.cpp
                LIBS NimbalFileProviderTestSupport LABELS unit)

nimbal_add_test(test_extension SOURCES fileprovider/test_extension.cpp fileprovider/ExtensionBus.cpp
                fileprovider/ExtensionBus.h LIBS Orvelan_Nimbal Qt6::DBus LABELS integration)
target_compile_definitions(test_extension PRIVATE
    NIMBAL_FILEPROVIDER_SERVICE_DIR="${NIMBAL_FILEPROVIDER_SERVICE_DIR}"
    NIMBAL_FILEPROVIDER_PROGRAM="$<TARGET_FILE:nimbal-fileprovider>")
add_dependencies(test_extension nimbal-fileprovider)
