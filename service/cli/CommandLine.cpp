// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "updates/PublishReleaseCommand.h"

#include <cstdio>
#include <sys/stat.h>

namespace OrvelanNimbal::Service {

namespace {

const char *const usage = R"(nimbal-service — the local Orvelan Nimbal drive service (loopback only)

Usage:
  nimbal-service serve --data DIR [--port N] [--test-controls]
      Serves the drive API on http://127.0.0.1:N (N = 0, the default, picks a free port) with
      its data in DIR (created when missing, readable by its owner only; a DIR that other
      users may enter is refused). One service per DIR; at start it removes what uploads
      cut short by a kill left behind. Once listening, prints the one line
        nimbal-service listening on http://127.0.0.1:PORT
      Logs one line per request to stderr: method, path and status, never a query, a header
      or a body. Stops on SIGINT or SIGTERM.
      --test-controls adds the /_test/ routes that let a test create accounts, queue faults
      on a route, count requests, shorten lifetimes, void tokens and shape drives. Never
      for real use.

  nimbal-service add-account --data DIR --email E --password P [--totp-secret BASE32]
                             [--recovery-code C]... [--passkey-only] [--quota-mb N]
                             [--seed-demo-tree]
      Creates an account (the service may be running). With --totp-secret, sign-in asks for
      an authenticator code; with --passkey-only, for a passkey, which this service cannot
      check. Each --recovery-code adds a one-time code that stands in for the second factor.
      --quota-mb sets the storage allowance (default 10240). --seed-demo-tree fills the new
      drive with nested folders and a few hundred small files, some archived, some in the
      trash, photos with thumbnails.

  nimbal-service publish-release --data DIR --signing-key PEM --release-version V
                                 [--display-version D] [--file F | --dummy-size BYTES]
                                 [--notes TEXT] [--notes-link URL]
                                 [--minimum-system-version V] [--type MIME]
      Adds a release to the update feed (GET /updates/appcast.xml), signed with the Ed25519
      private key in PEM (the service may be running). The release is the file F, or made-up
      bytes (3 MiB unless --dummy-size says otherwise); it is served from
      /updates/releases/. A second release of the same version replaces the first.

  nimbal-service --help
)";

} // namespace

void printUsage(std::FILE *to)
{
    std::fputs(usage, to);
}

int runCommandLine(int argc, char **argv, RouteTable routes)
{
    // Whatever either command creates (the database and its log, stored content, folders) is
    // the service's alone; the places that create files say so too, this is for the rest.
    ::umask(077);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString command = arguments.value(0);
    if (command == u"serve")
        return runServe(arguments.mid(1), routes);
    if (command == u"add-account")
        return runAddAccount(arguments.mid(1));
    if (command == u"publish-release")
        return runPublishRelease(arguments.mid(1));
    if (command == u"--help" || command == u"-h" || command == u"help") {
        printUsage(stdout);
        return exitSuccess;
    }
    printUsage(stderr);
    return exitUsage;
}

} // namespace OrvelanNimbal::Service
