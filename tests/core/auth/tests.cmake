# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_login SOURCES core/auth/test_login.cpp LABELS unit)
nimbal_add_test(test_stores SOURCES core/auth/test_stores.cpp LABELS unit)
# Against the desktop's Secret Service (the gnome-keyring that ./run test starts).
nimbal_add_test(test_keychain_stores SOURCES core/auth/test_keychain_stores.cpp LABELS integration)
