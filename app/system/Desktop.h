// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

namespace OrvelanNimbal {

// What the application asks of the desktop around it: show a folder or a page, and show the
// settings where the user decides what starts with the session.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual void openUrl(const QUrl &url) = 0;
    virtual void openLoginItemSettings() = 0;
};

// The running desktop: URLs through its default handlers; for the startup settings, the
// desktop's own settings program where one is known, else the autostart folder itself.
class SessionDesktop final : public Desktop {
public:
    void openUrl(const QUrl &url) override;
    void openLoginItemSettings() override;
};

} // namespace OrvelanNimbal
