// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "errors/DriveError.h"

#include <QTest>

namespace OrvelanNimbal {

// Lets QCOMPARE print a DriveError that differs.
inline char *toString(const DriveError &error)
{
    return QTest::toString(debugName(error) + QStringLiteral(" « ") + error.errorDescription()
                           + QStringLiteral(" »"));
}

} // namespace OrvelanNimbal

// Runs `statement` and checks that it throws the DriveError `expected`.
#define NIMBAL_EXPECT_DRIVE_ERROR(statement, expected)                                             \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            QFAIL("no DriveError was thrown");                                                     \
        } catch (const OrvelanNimbal::DriveError &thrown_) {                                       \
            QCOMPARE(thrown_, (expected));                                                         \
        }                                                                                          \
    } while (false)
