# SPDX-License-Identifier: GPL-3.0-or-later
# What the panel's views decide, tested in QML against the stand-in model (tests/ui/tst_*.qml).
add_executable(test_panel_views ui/test_panel_views.cpp)
nimbal_strict_warnings(test_panel_views)
target_link_libraries(test_panel_views PRIVATE Qt6::QuickTest Qt6::Qml OrvelanNimbalPanelplugin
                                               OrvelanNimbalPanelPreviewplugin)
add_test(NAME test_panel_views COMMAND test_panel_views -input ${CMAKE_CURRENT_SOURCE_DIR}/ui)
set_tests_properties(test_panel_views PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;TZ=UTC;QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software"
    LABELS unit)

# Every state of the panel drawn at 1× and 2×, without a warning from the views.
add_test(NAME test_panel_screenshots
         COMMAND nimbal-panel-screenshots ${CMAKE_BINARY_DIR}/panel-screenshots)
set_tests_properties(test_panel_screenshots PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;TZ=UTC;QT_QPA_PLATFORM=offscreen" LABELS unit)

# The panel's window: where it opens, the window used without a tray, one instance per session.
nimbal_add_test(test_tray_panel SOURCES ui/test_tray_panel.cpp
                LIBS OrvelanNimbalTray OrvelanNimbalPanelplugin OrvelanNimbalPanelPreviewplugin
                LABELS unit)

# The update window of the panel's module over a real updater (scripted release server).
nimbal_add_test(test_update_window SOURCES ui/test_update_window.cpp
                LIBS NimbalUpdateTesting Qt6::Quick OrvelanNimbalPanelplugin LABELS unit)
# Screenshots are taken offscreen, without a GPU.
set_property(TEST test_update_window APPEND PROPERTY ENVIRONMENT QT_QUICK_BACKEND=software)
