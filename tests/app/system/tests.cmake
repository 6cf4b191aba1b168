# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_autostart_entry SOURCES app/system/test_autostart_entry.cpp
                LIBS Orvelan_Nimbal LABELS unit)
nimbal_add_test(test_extension_tool SOURCES app/system/test_extension_tool.cpp
                LIBS Orvelan_Nimbal LABELS unit)
# A private bus stands in for the system bus (the one ./run test starts).
nimbal_add_test(test_desktop_probes SOURCES app/system/test_desktop_probes.cpp
                LIBS Orvelan_Nimbal LABELS unit)
