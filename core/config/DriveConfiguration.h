// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

#include <chrono>

namespace OrvelanNimbal {

// Parameters of the request pipeline, copied into the ApiClient at construction.
struct DriveConfiguration {
    DriveConfiguration(QUrl apiBaseURL, int maxAttempts, std::chrono::milliseconds retryBaseDelay,
                       double requestTimeout)
        : apiBaseURL(std::move(apiBaseURL))
        , maxAttempts(maxAttempts)
        , retryBaseDelay(retryBaseDelay)
        , requestTimeout(requestTimeout)
    {}

    QUrl apiBaseURL;
    int maxAttempts;                          // attempts of a retried request, the first included
    std::chrono::milliseconds retryBaseDelay; // wait before the second attempt, doubled after
    double requestTimeout;                    // seconds without traffic before a request fails
};

} // namespace OrvelanNimbal
