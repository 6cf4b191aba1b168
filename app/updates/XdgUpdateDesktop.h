// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "updates/UpdateDesktop.h"

namespace OrvelanNimbal {

// The freedesktop way: packages go to `xdg-open`, which hands them to the installer the user
// chose for their type; an AppImage restarts by running the new image.
class XdgUpdateDesktop final : public UpdateDesktop {
public:
    bool openPackage(const QString &path) override;
    bool relaunch(const QString &image) override;
};

} // namespace OrvelanNimbal
