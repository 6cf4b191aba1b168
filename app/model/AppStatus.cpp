// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/AppStatus.h"

namespace OrvelanNimbal {

AppStatus AppStatus::twoFactor(TwoFactorChallenge challenge)
{
    AppStatus status(Kind::TwoFactor);
    status.m_challenge = std::move(challenge);
    return status;
}

AppStatus AppStatus::failed(QString message)
{
    AppStatus status(Kind::Failed);
    status.m_message = std::move(message);
    return status;
}

} // namespace OrvelanNimbal
