// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/DriveEventStream.h"
#include "models/DriveModels.h"
#include "sync/DomainSummary.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The model's values as the panel reads them: read-only views of the library's records.
namespace OrvelanNimbal {

class QuotaInfo {
    Q_GADGET
    QML_VALUE_TYPE(quotaInfo)
    Q_PROPERTY(double usedMegabytes READ usedMegabytes)
    Q_PROPERTY(double maxMegabytes READ maxMegabytes)
    Q_PROPERTY(double fraction READ fraction)

public:
    QuotaInfo() = default;
    explicit QuotaInfo(DriveQuota quota)
        : m_quota(quota)
    {}

    double usedMegabytes() const { return m_quota.usedMegabytes; }
    double maxMegabytes() const { return m_quota.maxMegabytes; }
    double fraction() const { return m_quota.fraction(); }

private:
    DriveQuota m_quota;
};

class SummaryInfo {
    Q_GADGET
    QML_VALUE_TYPE(summaryInfo)
    Q_PROPERTY(QString archivedLabel READ archivedLabel)
    Q_PROPERTY(int archivedFileCount READ archivedFileCount)

public:
    SummaryInfo() = default;
    explicit SummaryInfo(DomainSummary summary)
        : m_summary(std::move(summary))
    {}

    // Empty when no file is archived.
    QString archivedLabel() const { return m_summary.archivedLabel().value_or(QString()); }
    int archivedFileCount() const { return int(m_summary.archivedFileCount()); }

private:
    DomainSummary m_summary;
};

class LiveStatusInfo {
    Q_GADGET
    QML_VALUE_TYPE(liveStatusInfo)
    Q_PROPERTY(Kind kind READ kind)
    Q_PROPERTY(qint64 retryIn READ retryIn)

public:
    // Read in QML as LiveStatus.Connected and so on.
    enum class Kind { Disconnected, Connected, Unauthorized };
    Q_ENUM(Kind)

    LiveStatusInfo() = default;
    explicit LiveStatusInfo(DriveEventStream::Status status)
        : m_status(status)
    {}

    Kind kind() const;
    // Seconds until the next attempt while disconnected.
    qint64 retryIn() const { return m_status.retryIn(); }

private:
    DriveEventStream::Status m_status = DriveEventStream::Status::disconnected(0);
};

inline LiveStatusInfo::Kind LiveStatusInfo::kind() const
{
    switch (m_status.kind()) {
    case DriveEventStream::Status::Kind::connected:
        return Kind::Connected;
    case DriveEventStream::Status::Kind::unauthorized:
        return Kind::Unauthorized;
    case DriveEventStream::Status::Kind::disconnected:
        break;
    }
    return Kind::Disconnected;
}

// The live stream's status kinds for QML: LiveStatus.Disconnected, LiveStatus.Connected…
namespace LiveStatusKinds {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(OrvelanNimbal::LiveStatusInfo)
QML_NAMED_ELEMENT(LiveStatus)
} // namespace LiveStatusKinds

} // namespace OrvelanNimbal
