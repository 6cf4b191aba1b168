# SPDX-License-Identifier: GPL-3.0-or-later
# The file-provider extension: its decisions over fakes, and the daemon on a private bus against
# the real service, keychain and folders.
add_library(NimbalFileProviderTestSupport STATIC
    fileprovider/EngineHarness.cpp
    fileprovider/EngineHarness.h
    fileprovider/ExtensionBus.cpp
    fileprovider/ExtensionBus.h
    fileprovider/FakeDrive.cpp
    fileprovider/FakeDrive.h
    fileprovider/FakeDriveWrites.cpp
    fileprovider/FileAccess.cpp
    fileprovider/FileAccess.h
)
nimbal_strict_warnings(NimbalFileProviderTestSupport)
target_include_directories(NimbalFileProviderTestSupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/fileprovider)
target_link_libraries(NimbalFileProviderTestSupport
    PUBLIC NimbalFileProvider NimbalTestSupport Qt6::DBus)
# The bus of a test starts the daemon of this build.
target_compile_definitions(NimbalFileProviderTestSupport PRIVATE
    NIMBAL_FILEPROVIDER_SERVICE_DIR="${NIMBAL_FILEPROVIDER_SERVICE_DIR}"
    NIMBAL_FILEPROVIDER_PROGRAM="$<TARGET_FILE:nimbal-fileprovider>")
add_dependencies(NimbalFileProviderTestSupport nimbal-fileprovider)

nimbal_add_test(test_sync_engine SOURCES fileprovider/test_sync_engine.cpp
                LIBS NimbalFileProviderTestSupport LABELS unit)
nimbal_add_test(test_sync_faults SOURCES fileprovider/test_sync_faults.cpp
                LIBS NimbalFileProviderTestSupport LABELS unit)
nimbal_add_test(test_sync_partial SOURCES fileprovider/test_sync_partial.cpp
                LIBS NimbalFileProviderTestSupport LABELS unit)
nimbal_add_test(test_reconciler SOURCES fileprovider/test_reconciler.cpp
                LIBS NimbalFileProvider LABELS unit)
nimbal_add_test(test_journal SOURCES fileprovider/test_journal.cpp
                LIBS NimbalFileProvider LABELS unit)
# Kills between effects need the crash points, compiled into the builds made for the tests.
if(NIMBAL_CRASH_POINTS)
    nimbal_add_test(test_sync_crashes SOURCES fileprovider/test_sync_crashes.cpp
                    LIBS NimbalFileProviderTestSupport LABELS unit)
    nimbal_add_test(test_sync_random SOURCES fileprovider/test_sync_random.cpp
                    LIBS NimbalFileProviderTestSupport LABELS unit)
endif()
# The daemon as the application drives it over the bus.
add_library(NimbalExtensionTestSupport STATIC
    fileprovider/ExtensionTest.cpp
    fileprovider/ExtensionTest.h
)
nimbal_strict_warnings(NimbalExtensionTestSupport)
target_link_libraries(NimbalExtensionTestSupport PUBLIC NimbalFileProviderTestSupport Orvelan_Nimbal)

nimbal_add_test(test_extension SOURCES fileprovider/test_extension.cpp
                LIBS NimbalExtensionTestSupport LABELS integration)
nimbal_add_test(test_extension_uploads SOURCES fileprovider/test_extension_uploads.cpp
                LIBS NimbalExtensionTestSupport LABELS integration)
# The application's domain controller over the bus, once the application core has it.
if(EXISTS ${PROJECT_SOURCE_DIR}/app/domains/DomainController.h)
    target_compile_definitions(test_extension PRIVATE NIMBAL_HAS_DOMAIN_CONTROLLER)
endif()
