// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace OrvelanNimbal::Service {

// Every API route lives under this prefix; the event stream sits under it too, on the root.
inline const std::string apiPrefix = "/api/v1";

// Storage addresses live on this server too, outside the API, and are reached only pre-signed.
inline const std::string storagePrefix = "/storage";

// Routes of the test controls, present only with --test-controls.
inline const std::string testControlPrefix = "/_test";

} // namespace OrvelanNimbal::Service
