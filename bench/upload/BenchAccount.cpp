// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/BenchAccount.h"

#include "AsyncTest.h"
#include "auth/InMemoryStores.h"
#include "net/CurlTransport.h"

#include <cstdio>

namespace Bench {

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

bool BenchAccount::start(const char *bench, const char *servicePath)
{
    if (qEnvironmentVariableIsEmpty("NIMBAL_SERVICE"))
        qputenv("NIMBAL_SERVICE", servicePath);
    service = std::make_unique<LocalService>(LocalService::RequestLog::discarded);
    if (!service->isRunning()) {
        std::fprintf(stderr, "%s: %s\n", bench, qPrintable(service->errorString()));
        return false;
    }
    const QString password = QStringLiteral("bench pass phrase");
    email = LocalService::uniqueEmail(QStringLiteral("bench"));
    service->addAccount({email, password, {}, {}, false, 8 * 1024});
    client = ApiClient::create(
        DriveConfiguration(service->apiBaseURL(), 3, std::chrono::milliseconds(400), 60.0),
        std::make_shared<CurlTransport>(), std::make_shared<InMemorySessionStore>(),
        std::make_shared<InMemoryTrustedDeviceStore>());
    runAsync(client->login(email, password));
    return true;
}

} // namespace Bench
