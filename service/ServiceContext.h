// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "admin/FaultInjector.h"
#include "admin/RequestLog.h"
#include "auth/SignInThrottle.h"
#include "events/EventStreams.h"
#include "foundation/DriveChangeHub.h"
#include "foundation/Lifetimes.h"
#include "foundation/ServiceClock.h"
#include "foundation/ServiceConfig.h"
#include "http/BodyRules.h"
#include "storage/ContentStore.h"
#include "storage/UrlSigner.h"
#include "uploads/PartStore.h"
#include "uploads/StorageFaults.h"
#include "uploads/UploadDigests.h"
#include "uploads/UploadExpiry.h"
#include "uploads/UploadLocks.h"

#include <atomic>
#include <memory>

namespace OrvelanNimbal::Service {

class Database;

// What every route of the service shares, handed to each by reference: the configuration, the
// database, the clock and the lifetimes, and the parts the families of routes use together,
// each a member built with the context and kept for the life of the service.
class ServiceContext {
public:
    ServiceContext(ServiceConfig config, std::unique_ptr<Database> database,
                   std::shared_ptr<ServiceClock> clock = systemServiceClock());
    ~ServiceContext();
    ServiceContext(const ServiceContext &) = delete;
    ServiceContext &operator=(const ServiceContext &) = delete;

    const ServiceConfig &config() const { return m_config; }
    Database &database() { return *m_database; }
    const ServiceClock &clock() const { return *m_clock; }
    std::int64_t now() const { return m_clock->now(); }
    Lifetimes &lifetimes() { return m_lifetimes; }

    // Set when the service is asked to stop: open event streams end, new ones are refused.
    bool isStopping() const { return m_stopping.load(); }
    void requestStop();

private:
    const ServiceConfig m_config;
    std::unique_ptr<Database> m_database;
    std::shared_ptr<ServiceClock> m_clock;
    Lifetimes m_lifetimes;
    std::atomic<bool> m_stopping = false;

public:
    // What the body of each route may be, filled as the routes are installed.
    BodyRules bodyRules;
    // Test controls: faults queued on routes, and the requests each route received.
    FaultInjector faults;
    RequestLog requestLog;
    SignInThrottle signInThrottle;
    // Where the drive announces its changes, and the event streams that listen.
    DriveChangeHub driveChanges;
    EventStreams eventStreams;
    // Content on disk, the addresses that reach it, and multipart uploads in progress.
    ContentStore contentStore;
    UrlSigner urlSigner;
    PartStore partStore;
    UploadLocks uploadLocks;
    UploadDigests uploadDigests;
    StorageFaults storageFaults;
    // How long the latest multipart completion took (assembly, hash, commit), in milliseconds:
    // the service's own share of an upload, told to benchmarks.
    std::atomic<qint64> lastCompletionMs = -1;
    // Last: its thread, once started, uses the members above and is stopped before they go.
    UploadExpiry uploadExpiry;
};

} // namespace OrvelanNimbal::Service
