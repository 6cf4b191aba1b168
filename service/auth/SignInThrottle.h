// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/RateLimiter.h"

#include <cstdint>
#include <string>

namespace OrvelanNimbal::Service {

// How many wrong guesses a step of signing in takes before it closes. Counted per client
// address and account together, so that a stranger guessing from elsewhere never locks the
// owner out; and per account from every address, with a ceiling that closes the account only
// briefly, so that guesses spread over many addresses still run out.
class SignInThrottle {
public:
    enum class Step { password, code };

    static constexpr RateLimiter::Policy perClientPolicy{5, 900, 300};
    static constexpr RateLimiter::Policy perAccountPolicy{30, 900, 60};

    SignInThrottle();

    // `account` names the account tried: its address key for a password (known or not), its
    // id for a code.
    bool isClosed(Step step, const std::string &client, const std::string &account,
                  std::int64_t now);
    void recordFailure(Step step, const std::string &client, const std::string &account,
                       std::int64_t now);
    // Clears the client's count; the account's ceiling keeps counting the others' guesses.
    void recordSuccess(Step step, const std::string &client, const std::string &account);
    void clear();

private:
    RateLimiter m_perClient;
    RateLimiter m_perAccount;
};

} // namespace OrvelanNimbal::Service
