// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadBody.h"

#include "auth/Authentication.h"
#include "drive/DriveFailure.h"
#include "http/ConnectionEnd.h"
#include "uploads/UploadLimits.h"

namespace OrvelanNimbal::Service {

bool UploadBody::read(const httplib::ContentReceiver &receive)
{
    m_started = true;
    m_wholeRead = m_reader(receive);
    return m_wholeRead;
}

bool UploadBody::readForm(const httplib::MultipartContentHeader &header,
                          const httplib::ContentReceiver &receive)
{
    m_started = true;
    m_wholeRead = m_reader(header, receive);
    return m_wholeRead;
}

void UploadBody::settle(httplib::Response &response)
{
    if (m_wholeRead)
        return;
    // The library reads a body once, from its start: one read in part cannot be taken up again.
    if (!m_started) {
        std::int64_t dropped = 0;
        if (read([&dropped](const char *, size_t length) {
                dropped += std::int64_t(length);
                return dropped <= UploadLimits::mostBytesDropped;
            }))
            return;
    }
    endConnectionIfBodyLeft(m_request, response);
}

httplib::Server::HandlerWithContentReader uploadRoute(ServiceContext &context,
                                                      UploadHandler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response,
                               const httplib::ContentReader &reader) {
        UploadBody body(request, reader);
        const auto account = authenticate(context, request, response);
        try {
            if (account)
                handler(context, *account, request, body, response);
        } catch (const DriveFailure &failure) {
            failure.answer(response);
        }
        body.settle(response);
    };
}

} // namespace OrvelanNimbal::Service
