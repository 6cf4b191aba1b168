// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/DriveEventStream.h"

#include <QList>
#include <QTest>

// Lets QCOMPARE show a status, or a list of them, as it reads in a log: "disconnected(5)".
namespace OrvelanNimbal {

inline char *toString(const DriveEventStream::Status &status)
{
    switch (status.kind()) {
    case DriveEventStream::Status::Kind::disconnected:
        return QTest::toString(QStringLiteral("disconnected(%1)").arg(status.retryIn()));
    case DriveEventStream::Status::Kind::connected:
        return QTest::toString(QStringLiteral("connected"));
    case DriveEventStream::Status::Kind::unauthorized:
        return QTest::toString(QStringLiteral("unauthorized"));
    }
    return nullptr;
}

} // namespace OrvelanNimbal
