// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <exception>
#include <functional>
#include <memory>

namespace OrvelanNimbal {

// What a cancelled operation ends with. It is not a DriveError: nothing failed, the caller
// stopped wanting the result.
class OperationCancelled : public std::exception {
public:
    const char *what() const noexcept override { return "opération annulée"; }
};

namespace detail {
class CancellationState;
}

// Keeps a cancellation callback registered for as long as it lives. Ending the registration
// while another thread runs the callback waits for it to return, so the callback may touch what
// the registering scope owns.
class CancellationRegistration {
public:
    CancellationRegistration() = default;
    CancellationRegistration(CancellationRegistration &&other) noexcept;
    CancellationRegistration &operator=(CancellationRegistration &&other) noexcept;
    CancellationRegistration(const CancellationRegistration &) = delete;
    CancellationRegistration &operator=(const CancellationRegistration &) = delete;
    ~CancellationRegistration();

    void reset();

private:
    friend class CancellationToken;
    CancellationRegistration(std::weak_ptr<detail::CancellationState> state, quint64 id);

    std::weak_ptr<detail::CancellationState> m_state;
    quint64 m_id = 0;
};

// The observing side of a cancellation: cheap to copy, handed by value to every operation that
// can wait. A default-constructed token is never cancelled.
class CancellationToken {
public:
    CancellationToken() = default;

    bool isCancelled() const;
    void throwIfCancelled() const;

    // Calls `callback` once when the token is cancelled, on the thread that cancels it; at once
    // when it already is. The callback must not block; waits use it to wake up and abort.
    [[nodiscard]] CancellationRegistration onCancel(std::function<void()> callback) const;

private:
    friend class CancellationSource;
    explicit CancellationToken(std::shared_ptr<detail::CancellationState> state);

    std::shared_ptr<detail::CancellationState> m_state;
};

// The owning side: whoever started a piece of work keeps the source and cancels it.
class CancellationSource {
public:
    CancellationSource();
    // A source that is also cancelled when `parent` is, so child work stops with its parent.
    explicit CancellationSource(const CancellationToken &parent);

    CancellationToken token() const;
    bool isCancelled() const;
    void cancel();

private:
    std::shared_ptr<detail::CancellationState> m_state;
    CancellationRegistration m_parentLink;
};

} // namespace OrvelanNimbal
