// SPDX-License-Identifier: GPL-3.0-or-later
// Direct uploads: the whole content in one multipart/form-data request, written to disk as it
// arrives and hashed on the way. More than 16 MiB of content is refused with 413, which tells
// the client to send it in parts instead.
//
//   POST /api/v1/drive/upload/file       file part "file" (its file name names the new file),
//        fields "id_folder"?, "storage_class"? ("standard"), "content_hash"?
//        201 file record + "s3_key"
//   PUT  /api/v1/drive/files/{id}/content   file part "file", fields "if_content_hash"?,
//        "if_date_upload"?, "content_hash"?                                   200 file record
//
// A "content_hash" that the received bytes do not have is refused (400 "hash_mismatch"); the
// rest of the refusals are ContentCommit's: 404, 409 (a name taken, a stale version, or
// "X-Drive-Conflict: archived" / "reinforced"), 423 locked, 507 quota.
#include "auth/Accounts.h"
#include "auth/Authentication.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveRecords.h"
#include "drive/DriveRequests.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"
#include "storage/ContentStore.h"
#include "storage/StreamedFile.h"
#include "uploads/ContentCommit.h"
#include "uploads/DirectForm.h"
#include "uploads/UploadBody.h"
#include "uploads/UploadLimits.h"
#include "uploads/UploadRoutes.h"

namespace OrvelanNimbal::Service {

namespace {

// Where a new content of the account is received: beside its final place, so that keeping it
// is a rename.
struct Arrival {
    QString key;
    StreamedFile file;

    Arrival(ServiceContext &context, std::int64_t accountId)
        : key(ContentStore::newKey(accountId))
        , file(context.contentStore.pathOf(key)->parent_path())
    {}

    ReceivedContent received(const DirectForm &form)
    {
        const QString hash = file.finish();
        return {file.path(), key, file.size(), hash, form.contentType};
    }
};

void requireStandardClass(const DirectForm &form)
{
    const auto storageClass = form.field("storage_class");
    if (storageClass && *storageClass != standardStorageClass)
        throw DriveFailure::invalid(
            QStringLiteral("un envoi se range en classe « standard », pas « %1 »")
                .arg(*storageClass));
}

void uploadFile(ServiceContext &context, const Account &account, const httplib::Request &,
                UploadBody &body, httplib::Response &response)
{
    Arrival arrival(context, account.id);
    const DirectForm form = readDirectForm(body, arrival.file, UploadLimits::directContent);
    requireStandardClass(form);
    const std::int64_t folderId =
        std::max<std::int64_t>(form.wholeField("id_folder").value_or(0), driveRoot);
    ReceivedContent content = arrival.received(form);
    ContentCommit::requireAnnouncedHash(content, form.field("content_hash"));
    const FileRecord file =
        ContentCommit::create(context, account.id, content, form.fileName, folderId);
    QJsonObject answer = DriveJson::file(file);
    answer.insert(QStringLiteral("s3_key"), file.contentKey);
    sendJson(response, 201, answer);
}

void replaceContent(ServiceContext &context, const Account &account,
                    const httplib::Request &request, UploadBody &body, httplib::Response &response)
{
    const std::int64_t id = DriveRequests::pathId(request);
    Arrival arrival(context, account.id);
    const DirectForm form = readDirectForm(body, arrival.file, UploadLimits::directContent);
    const ReplaceGuard guard{form.field("if_content_hash"), form.wholeField("if_date_upload")};
    ReceivedContent content = arrival.received(form);
    ContentCommit::requireAnnouncedHash(content, form.field("content_hash"));
    const FileRecord file = ContentCommit::replace(context, account.id, id, content, guard);
    sendJson(response, 200, DriveJson::file(file));
}

// The file part, and room for the form around it: part heads and up to 32 short fields.
constexpr BodyRule directForm{BodyRule::Kind::form, UploadLimits::directContent + (1 << 20),
                              &admitSignedIn};

} // namespace

void installDirectUploadRoutes(httplib::Server &server, ServiceContext &context)
{
    const std::string drive = apiPrefix + "/drive";
    BodyRoutes routes(server, context);
    routes.post(drive + "/upload/file", directForm, uploadRoute(context, &uploadFile));
    routes.put(drive + R"(/files/(-?\d+)/content)", directForm,
               uploadRoute(context, &replaceContent));
}

} // namespace OrvelanNimbal::Service
