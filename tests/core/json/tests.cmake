# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_json_bodies_in_memory SOURCES core/json/test_json_bodies_in_memory.cpp
                LABELS unit)
