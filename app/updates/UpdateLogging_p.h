// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace OrvelanNimbal {

Q_DECLARE_LOGGING_CATEGORY(lcUpdates)

} // namespace OrvelanNimbal
