// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadBody.h"

#include "auth/Authentication.h"
#include "drive/DriveFailure.h"

namespace OrvelanNimbal::Service {

bool UploadBody::read(const httplib::ContentReceiver &receive)
{
    return m_reader(receive);
}

bool UploadBody::readForm(const httplib::MultipartContentHeader &header,
                          const httplib::ContentReceiver &receive)
{
    return m_reader(header, receive);
}

httplib::Server::HandlerWithContentReader uploadRoute(ServiceContext &context,
                                                      UploadHandler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response,
                               const httplib::ContentReader &reader) {
        UploadBody body(request, reader);
        const auto account = authenticate(context, request, response);
        if (!account)
            return;
        try {
            handler(context, *account, request, body, response);
        } catch (const DriveFailure &failure) {
            failure.answer(response);
        }
    };
}

} // namespace OrvelanNimbal::Service
