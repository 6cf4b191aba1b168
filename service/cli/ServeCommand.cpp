// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "cli/OptionParsing.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "ServiceContext.h"
#include "ServiceSchema.h"
#include "uploads/UploadExpiry.h"
#include "uploads/UploadLeftovers.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace OrvelanNimbal::Service {

namespace {

// SIGINT and SIGTERM are taken by one thread that stops the server, rather than by a handler
// that could only set a flag. Blocked before any worker starts, so every thread inherits it.
sigset_t stopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    return stopSet;
}

// After a stop request, how long workers get to finish what they were answering, and event
// streams to write their end. A slow client would hold a worker for seconds more.
constexpr auto stopGrace = std::chrono::milliseconds(500);

} // namespace

int runServe(const QStringList &arguments, RouteTable routes)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("data"), {}, QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("port"), {}, QStringLiteral("N")});
    parser.addOption({QStringLiteral("test-controls"), {}});
    if (const auto exitCode = parseOptions(parser, arguments, {QStringLiteral("data")}))
        return *exitCode;
    const auto port = integerOption(parser, QStringLiteral("port"), 0, 0, 65535);
    if (!port)
        return exitUsage;

    ServiceConfig config;
    config.dataDirectory = parser.value(QStringLiteral("data")).toStdString();
    config.port = int(*port);
    config.testControls = parser.isSet(QStringLiteral("test-controls"));

    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    try {
        ServiceContext context(config, openDataDirectory(config.dataDirectory, serviceSchema()));
        claimDataDirectory(config.dataDirectory);
        if (const int removed = removeUploadLeftovers(context))
            std::fprintf(stderr, "nimbal-service: %d restes d'envois interrompus supprimés\n",
                         removed);
        context.uploadExpiry.start(); // from now on, abandoned uploads expire
        HttpService service(context, routes);
        const int bound = service.bind();

        std::thread([&context, &service, stopSet] {
            int received = 0;
            sigwait(&stopSet, &received);
            context.requestStop();
            service.stop();
            std::this_thread::sleep_for(stopGrace);
            std::_Exit(exitSuccess);
        }).detach();

        std::printf("nimbal-service listening on http://%s:%d\n", config.host.c_str(), bound);
        std::fflush(stdout);
        service.run();
        return exitSuccess;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "nimbal-service: %s\n", error.what());
        return exitFailure;
    }
}

} // namespace OrvelanNimbal::Service
