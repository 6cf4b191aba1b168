// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <httplib.h>

namespace OrvelanNimbal::Service {

struct Account;
class ServiceContext;

// The body of an upload request, read as it streams in, never held whole.
class UploadBody {
public:
    UploadBody(const httplib::Request &request, const httplib::ContentReader &reader)
        : m_request(request)
        , m_reader(reader)
    {}

    // Hands each piece of a body that is not a form to `receive`. False when the body broke
    // off, or when `receive` refused a piece (the rest is then left unread).
    bool read(const httplib::ContentReceiver &receive);
    // The same for a multipart/form-data body: `header` at the start of each part.
    bool readForm(const httplib::MultipartContentHeader &header,
                  const httplib::ContentReceiver &receive);

    bool isForm() const { return m_request.is_multipart_form_data(); }

    // Once the route has answered without reading the body (a refusal): the body is read and
    // dropped, up to UploadLimits::mostBytesDropped, so that a client still sending it reads the
    // answer rather than a reset. A body read in part, or longer than that, ends the connection
    // with the answer, so that the rest is never read as the next request.
    void settle(httplib::Response &response);

private:
    const httplib::Request &m_request;
    const httplib::ContentReader &m_reader;
    bool m_started = false;
    bool m_wholeRead = false;
};

// An upload route: runs for the account whose token the request carries; a DriveFailure it
// throws becomes the answer.
using UploadHandler = void (*)(ServiceContext &context, const Account &account,
                               const httplib::Request &request, UploadBody &body,
                               httplib::Response &response);
httplib::Server::HandlerWithContentReader uploadRoute(ServiceContext &context,
                                                      UploadHandler handler);

} // namespace OrvelanNimbal::Service
