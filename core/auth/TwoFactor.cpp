// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/TwoFactor.h"

namespace OrvelanNimbal {

QString rawValue(TwoFactorMethod method)
{
    switch (method) {
    case TwoFactorMethod::totp:
        return QStringLiteral("totp");
    case TwoFactorMethod::recovery:
        return QStringLiteral("recovery");
    }
    Q_UNREACHABLE();
}

std::optional<TwoFactorMethod> twoFactorMethodFromRawValue(QStringView text)
{
    if (text == u"totp")
        return TwoFactorMethod::totp;
    if (text == u"recovery")
        return TwoFactorMethod::recovery;
    return std::nullopt;
}

} // namespace OrvelanNimbal
