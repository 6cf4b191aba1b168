// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformTexts.h"

#include "config/PlatformWords.h"

namespace OrvelanNimbal::Panel {

QString PlatformTexts::signInTagline()
{
    return PlatformWords::signInTagline;
}

QString PlatformTexts::rememberDevice()
{
    return PlatformWords::rememberDevice;
}

QString PlatformTexts::passkeyNoticeFourthPiece()
{
    return PlatformWords::passkeyNoticeFourthPiece;
}

QString PlatformTexts::openFolderTip()
{
    return PlatformWords::openFolderTip;
}

QString PlatformTexts::approvalExplanation()
{
    return PlatformWords::approvalExplanation;
}

QString PlatformTexts::approvalFirstSwitch()
{
    return PlatformWords::approvalFirstSwitch;
}

QString PlatformTexts::approvalSecondSwitch()
{
    return PlatformWords::approvalSecondSwitch;
}

QString PlatformTexts::approvalHint()
{
    return PlatformWords::approvalHint;
}

QString PlatformTexts::approvalButton()
{
    return PlatformWords::approvalButton;
}

} // namespace OrvelanNimbal::Panel
