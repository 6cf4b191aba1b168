# SPDX-License-Identifier: GPL-3.0-or-later
# What the extension tells of a domain (path states, what is left) and its pauses.
nimbal_add_test(test_domain_activity SOURCES fileprovider/daemon/test_domain_activity.cpp
                LIBS NimbalFileProvider LABELS unit)
