// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

namespace OrvelanNimbal::Service {

// Where the service reads the time: token lifetimes, second-factor codes, rate limits. Unit
// tests give it a fixed instant.
class ServiceClock {
public:
    virtual ~ServiceClock() = default;
    // Whole seconds since 1970-01-01 UTC, the unit of every date the service stores or sends.
    virtual std::int64_t now() const = 0;
};

std::shared_ptr<ServiceClock> systemServiceClock();

// A clock that stays where it is put.
class FixedServiceClock final : public ServiceClock {
public:
    explicit FixedServiceClock(std::int64_t now)
        : m_now(now)
    {}
    std::int64_t now() const override { return m_now; }
    void set(std::int64_t now) { m_now = now; }

private:
    std::int64_t m_now;
};

} // namespace OrvelanNimbal::Service
