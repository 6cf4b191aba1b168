// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace OrvelanNimbal {

// The user's preferences that outlive a session: the e-mail last typed, whether launch at
// login was decided, and the newest conflict the user dismissed. A value of another type than
// expected (an edited file) reads as missing.
class Preferences {
public:
    explicit Preferences(std::unique_ptr<QSettings> settings);
    // The user's own: $XDG_CONFIG_HOME/net.orvelan.nimbal/nimbal.conf.
    static std::shared_ptr<Preferences> forUser();

    QString lastEmail() const;
    void setLastEmail(const QString &email);

    bool launchAtLoginChosen() const;
    void setLaunchAtLoginChosen(bool chosen);

    // Seconds since 1970; 0 when never set.
    double conflictDismissedUntil() const;
    void setConflictDismissedUntil(double seconds);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace OrvelanNimbal
