// SPDX-License-Identifier: GPL-3.0-or-later
// nimbal-walkthrough: NIMBAL_DEMO_EMAIL and NIMBAL_DEMO_PASSWORD name the demo account (kept
// out of the command line, where other users could read them); the service is the one the
// library was built for, whose test controls sit at the root of the API host.
#include "Walkthrough.h"
#include "config/OrvelanNimbal.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const WalkthroughAccount account{qEnvironmentVariable("NIMBAL_DEMO_EMAIL"),
                                     qEnvironmentVariable("NIMBAL_DEMO_PASSWORD")};
    if (account.email.isEmpty() || account.password.isEmpty()) {
        std::fputs("nimbal-walkthrough : NIMBAL_DEMO_EMAIL et NIMBAL_DEMO_PASSWORD doivent nommer "
                   "le compte de démonstration (./run demo s'en charge).\n",
                   stderr);
        return 2;
    }
    QTimer::singleShot(0, &application, [account] {
        [](WalkthroughAccount account) -> QCoro::Task<> {
            const int exitCode = co_await runWalkthrough(
                account, OrvelanNimbal::defaultAPIBaseURL().resolved(QUrl(QStringLiteral("/"))));
            QCoreApplication::exit(exitCode);
        }(account);
    });
    return application.exec();
}
