// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadBody.h"

#include "auth/Authentication.h"
#include "drive/DriveFailure.h"
#include "http/ConnectionEnd.h"

namespace OrvelanNimbal::Service {

bool UploadBody::read(const httplib::ContentReceiver &receive)
{
    m_wholeRead = m_reader(receive);
    return m_wholeRead;
}

bool UploadBody::readForm(const httplib::MultipartContentHeader &header,
                          const httplib::ContentReceiver &receive)
{
    m_wholeRead = m_reader(header, receive);
    return m_wholeRead;
}

void UploadBody::endConnectionIfLeft(httplib::Response &response) const
{
    if (!m_wholeRead)
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
        body.endConnectionIfLeft(response);
    };
}

} // namespace OrvelanNimbal::Service
