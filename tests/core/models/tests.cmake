# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_item_identifier SOURCES core/models/test_item_identifier.cpp LABELS unit)
nimbal_add_test(test_file_records SOURCES core/models/test_file_records.cpp LABELS unit)
nimbal_add_test(test_folder_and_change_records
                SOURCES core/models/test_folder_and_change_records.cpp LABELS unit)
nimbal_add_test(test_listing_pieces SOURCES core/models/test_listing_pieces.cpp LABELS unit)
