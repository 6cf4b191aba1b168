// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/SignInThrottle.h"

namespace OrvelanNimbal::Service {

namespace {

std::string accountKey(SignInThrottle::Step step, const std::string &account)
{
    return (step == SignInThrottle::Step::password ? "password:" : "code:") + account;
}

// A line break can be in neither an address nor an account key, so no two pairs meet.
std::string clientKey(SignInThrottle::Step step, const std::string &client,
                      const std::string &account)
{
    return accountKey(step, account) + "\n" + client;
}

} // namespace

SignInThrottle::SignInThrottle()
    : m_perClient(perClientPolicy)
    , m_perAccount(perAccountPolicy)
{}

bool SignInThrottle::isClosed(Step step, const std::string &client, const std::string &account,
                              std::int64_t now)
{
    return m_perClient.isBlocked(clientKey(step, client, account), now)
           || m_perAccount.isBlocked(accountKey(step, account), now);
}

void SignInThrottle::recordFailure(Step step, const std::string &client, const std::string &account,
                                   std::int64_t now)
{
    m_perClient.recordFailure(clientKey(step, client, account), now);
    m_perAccount.recordFailure(accountKey(step, account), now);
}

void SignInThrottle::recordSuccess(Step step, const std::string &client, const std::string &account)
{
    m_perClient.recordSuccess(clientKey(step, client, account));
}

void SignInThrottle::clear()
{
    m_perClient.clear();
    m_perAccount.clear();
}

} // namespace OrvelanNimbal::Service
