// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace httplib {
struct Response;
}

namespace OrvelanNimbal::Service {

// Answers with the bytes of a file on disk, with their length, whole or by the ranges the
// request asks (the HTTP library answers those: 206 and Content-Range), read a piece at a time
// as they go out, so that no file sits whole in memory. False, with nothing answered, when the
// file cannot be opened. A file cut short meanwhile ends the answer early: the client sees
// fewer bytes than announced and says so.
bool answerWithFile(httplib::Response &response, const std::filesystem::path &path);

} // namespace OrvelanNimbal::Service
