// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Desktop.h"
#include "system/XdgAutostartEntry.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace OrvelanNimbal {

namespace {

// Where each desktop lets the user choose the programs started with the session.
struct StartupSettings {
    QStringView desktop; // as it appears in XDG_CURRENT_DESKTOP
    QString program;
    QStringList arguments;
};

const StartupSettings knownStartupSettings[] = {
    {u"KDE", QStringLiteral("systemsettings"), {QStringLiteral("kcm_autostart")}},
    {u"KDE", QStringLiteral("systemsettings5"), {QStringLiteral("kcm_autostart")}},
    {u"GNOME", QStringLiteral("gnome-tweaks"), {}},
    {u"XFCE", QStringLiteral("xfce4-session-settings"), {}},
    {u"MATE", QStringLiteral("mate-session-properties"), {}},
    {u"X-Cinnamon", QStringLiteral("cinnamon-settings"), {QStringLiteral("startup")}},
};

} // namespace

void SessionDesktop::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void SessionDesktop::openLoginItemSettings()
{
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    for (const StartupSettings &settings : knownStartupSettings) {
        if (!desktops.contains(settings.desktop.toString(), Qt::CaseInsensitive))
            continue;
        const QString program = QStandardPaths::findExecutable(settings.program);
        if (!program.isEmpty() && QProcess::startDetached(program, settings.arguments))
            return;
    }
    const QString folder = XdgAutostartEntry::userFolder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace OrvelanNimbal
