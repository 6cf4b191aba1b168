// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/XdgUpdateDesktop.h"

#include "updates/UpdateLogging_p.h"

#include <QCoreApplication>
#include <QProcess>

namespace OrvelanNimbal {

bool XdgUpdateDesktop::openPackage(const QString &path)
{
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {path}))
        return true;
    qCWarning(lcUpdates, "xdg-open could not be started for the verified package");
    return false;
}

bool XdgUpdateDesktop::relaunch(const QString &image)
{
    // The new image starts once this process has ended, so that it never meets us still
    // holding what a single running instance holds. The AppImage runtime's variables describe
    // our mount, not the new image's: they are not passed on.
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"),
                          QStringLiteral("while kill -0 \"$0\" 2>/dev/null; do sleep 0.2; done; "
                                         "exec \"$1\""),
                          QString::number(QCoreApplication::applicationPid()), image});
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"APPIMAGE", "APPDIR", "ARGV0", "OWD"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    if (!process.startDetached()) {
        qCWarning(lcUpdates, "the new AppImage could not be started");
        return false;
    }
    QCoreApplication::quit();
    return true;
}

} // namespace OrvelanNimbal
