// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadBody.h"

#include "auth/Authentication.h"
#include "drive/DriveFailure.h"

namespace OrvelanNimbal::Service {

namespace {

// Far more than any refused request of a well-behaved client carries (a direct upload is
// refused at 16 MiB, a part is at most one part), far less than a disk's worth.
constexpr std::int64_t mostBytesDiscarded = std::int64_t(64) << 20;

} // namespace

bool UploadBody::read(const httplib::ContentReceiver &receive)
{
    m_read = true;
    m_complete = m_reader(receive);
    return m_complete;
}

bool UploadBody::readForm(const httplib::MultipartContentHeader &header,
                          const httplib::ContentReceiver &receive)
{
    m_read = true;
    m_complete = m_reader(header, receive);
    return m_complete;
}

void UploadBody::discard(httplib::Response &response)
{
    if (m_read) {
        if (!m_complete)
            response.set_header("Connection", "close");
        return;
    }
    std::int64_t dropped = 0;
    const auto drop = [&](const char *, size_t length) {
        dropped += std::int64_t(length);
        return dropped <= mostBytesDiscarded;
    };
    // The library hands a form only to a form reader.
    const int status = response.status;
    const bool drained =
        m_request.is_multipart_form_data()
            ? readForm([](const httplib::MultipartFormData &) { return true; }, drop)
            : read(drop);
    if (!drained)
        response.set_header("Connection", "close");
    response.status = status; // the library sets 400 on a body it could not read
}

httplib::Server::HandlerWithContentReader uploadRoute(ServiceContext &context,
                                                      UploadHandler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response,
                               const httplib::ContentReader &reader) {
        UploadBody body(request, reader);
        const auto account = authenticate(context, request, response);
        if (!account)
            return body.discard(response);
        try {
            handler(context, *account, request, body, response);
        } catch (const DriveFailure &failure) {
            failure.answer(response);
        }
        body.discard(response);
    };
}

} // namespace OrvelanNimbal::Service
