// SPDX-License-Identifier: GPL-3.0-or-later
#include "async/Clock.h"
#include "async/Wakeup.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace OrvelanNimbal {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

class SystemClock final : public Clock {
public:
    std::chrono::nanoseconds continuousNow() const override
    {
        timespec now{};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    }

    QDateTime currentDateTime() const override { return QDateTime::currentDateTimeUtc(); }

    QCoro::Task<> sleep(std::chrono::milliseconds delay, CancellationToken cancel) override
    {
        cancel.throwIfCancelled();
        if (delay.count() <= 0)
            co_return;

        Wakeup wakeup;
        const auto cancelled = cancel.onCancel([&wakeup] { wakeup.fire(); });

        FileDescriptor timer(::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC));
        std::unique_ptr<QSocketNotifier> notifier;
        QTimer fallback; // only when the kernel refuses a boot-time timer
        if (timer.get() >= 0 && arm(timer.get(), delay)) {
            notifier = std::make_unique<QSocketNotifier>(timer.get(), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [&wakeup] { wakeup.fire(); });
        } else {
            fallback.setSingleShot(true);
            fallback.setTimerType(Qt::PreciseTimer);
            QObject::connect(&fallback, &QTimer::timeout, &fallback, [&wakeup] { wakeup.fire(); });
            fallback.start(delay);
        }
        co_await wakeup.wait();
        cancel.throwIfCancelled();
    }

private:
    static bool arm(int fd, std::chrono::milliseconds delay)
    {
        itimerspec spec{};
        spec.it_value.tv_sec = static_cast<time_t>(delay.count() / 1000);
        spec.it_value.tv_nsec = static_cast<long>((delay.count() % 1000) * 1000000);
        return ::timerfd_settime(fd, 0, &spec, nullptr) == 0;
    }
};

} // namespace

std::shared_ptr<Clock> systemClock()
{
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

} // namespace OrvelanNimbal
