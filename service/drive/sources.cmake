# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(NimbalService PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QuotaRoutes.cpp
)
