// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Wakeup.h"
#include "model/AppEnvironment.h"

#include <QList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <stdexcept>

namespace OrvelanNimbal::Testing {

// A login item whose state the test sets, and whose (un)registrations may fail.
class FakeLoginItem final : public LoginItem {
public:
    Status state = Status::notRegistered;
    std::optional<QString> failure; // what every (un)registration answers, when set
    int registrations = 0;
    int unregistrations = 0;

    Status status() const override { return state; }
    std::optional<QString> registerItem() override
    {
        ++registrations;
        if (!failure)
            state = Status::enabled;
        return failure;
    }
    std::optional<QString> unregisterItem() override
    {
        ++unregistrations;
        if (!failure)
            state = Status::notRegistered;
        return failure;
    }
};

class RecordingDesktop final : public Desktop {
public:
    QList<QUrl> opened;
    int settingsShown = 0;

    void openUrl(const QUrl &url) override { opened.append(url); }
    void openLoginItemSettings() override { ++settingsShown; }
};

// The live change feed, driven by the test: it runs until cancelled and reports the changes and
// statuses the test makes.
class ScriptedLiveEvents {
public:
    LiveEvents function()
    {
        return [this](DriveEventStream::ChangeHandler onChange,
                      DriveEventStream::StatusHandler onStatus, CancellationToken cancel) {
            return run(this, std::move(onChange), std::move(onStatus), std::move(cancel));
        };
    }

    bool isRunning() const { return bool(m_onChange); }
    int runs() const { return m_runs; }
    void change() const
    {
        if (m_onChange)
            m_onChange();
    }
    void status(DriveEventStream::Status status) const
    {
        if (m_onStatus)
            m_onStatus(status);
    }
    // The run ends by itself, or fails with `error`, as if the stream had a fault.
    void finish(std::optional<QString> error = std::nullopt)
    {
        if (!m_stopped)
            return;
        m_failure = std::move(error);
        m_stopped->fire();
    }

private:
    static QCoro::Task<> run(ScriptedLiveEvents *self, DriveEventStream::ChangeHandler onChange,
                             DriveEventStream::StatusHandler onStatus, CancellationToken cancel)
    {
        ++self->m_runs;
        self->m_onChange = std::move(onChange);
        self->m_onStatus = std::move(onStatus);
        const auto stopped = std::make_shared<Wakeup>();
        self->m_stopped = stopped;
        const auto onCancel = cancel.onCancel([stopped] { stopped->fire(); });
        co_await stopped->wait();
        self->m_onChange = {};
        self->m_onStatus = {};
        self->m_stopped.reset();
        if (const std::optional<QString> failure = std::exchange(self->m_failure, std::nullopt))
            throw std::runtime_error(failure->toStdString());
    }

    DriveEventStream::ChangeHandler m_onChange;
    DriveEventStream::StatusHandler m_onStatus;
    std::shared_ptr<Wakeup> m_stopped;
    std::optional<QString> m_failure;
    int m_runs = 0;
};

} // namespace OrvelanNimbal::Testing
