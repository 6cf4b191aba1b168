# SPDX-License-Identifier: GPL-3.0-or-later
nimbal_add_test(test_sse_parser SOURCES core/events/test_sse_parser.cpp LABELS unit)
nimbal_add_test(test_drive_event_stream SOURCES core/events/test_drive_event_stream.cpp LABELS unit)
