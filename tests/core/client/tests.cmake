# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_multipart_form SOURCES core/client/test_multipart_form.cpp LABELS unit)
