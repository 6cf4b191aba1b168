// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/UploadForms_p.h"

#include <QJsonArray>
#include <QUuid>

namespace OrvelanNimbal::Uploads {

namespace {

const QString standardClass = QStringLiteral("standard");

QJsonArray partsArray(const std::vector<UploadedPart> &parts)
{
    QJsonArray array;
    for (const UploadedPart &part : parts)
        array.append(QJsonObject{{QStringLiteral("PartNumber"), part.number},
                                 {QStringLiteral("ETag"), part.etag}});
    return array;
}

QJsonObject uploadIdentity(const OpenedUpload &upload)
{
    return {{QStringLiteral("s3_key"), upload.storageKey},
            {QStringLiteral("upload_id"), upload.uploadID}};
}

} // namespace

QString newBoundary()
{
    return QStringLiteral("orvelan-")
           + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

MultipartForm directCreateForm(const QString &name, std::optional<qint64> parentID,
                               const DriveAPI::LocalContent &content, FileRegion data)
{
    MultipartForm form(newBoundary());
    form.addFile(QStringLiteral("file"), name, content.contentType, std::move(data));
    form.addField(QStringLiteral("id_folder"), QString::number(parentID.value_or(0)));
    form.addField(QStringLiteral("storage_class"), standardClass);
    form.addField(QStringLiteral("content_hash"), content.contentHash);
    form.finalize();
    return form;
}

MultipartForm directReplaceForm(const DriveFile &file, const DriveAPI::LocalContent &content,
                                const ReplacePrecondition &precondition, FileRegion data)
{
    MultipartForm form(newBoundary());
    form.addFile(QStringLiteral("file"), file.name, content.contentType, std::move(data));
    if (precondition.ifContentHash)
        form.addField(QStringLiteral("if_content_hash"), *precondition.ifContentHash);
    if (precondition.ifDateUpload)
        form.addField(QStringLiteral("if_date_upload"),
                      QString::number(*precondition.ifDateUpload));
    form.finalize();
    return form;
}

QJsonObject openBody(const QString &name, std::optional<qint64> parentID,
                     const DriveAPI::LocalContent &content)
{
    return {{QStringLiteral("file_name"), name},
            {QStringLiteral("file_size"), content.size},
            {QStringLiteral("id_folder"), parentID.value_or(0)},
            {QStringLiteral("content_type"), content.contentType},
            {QStringLiteral("storage_class"), standardClass}};
}

QJsonObject presignBody(const OpenedUpload &upload, int partNumber)
{
    QJsonObject body = uploadIdentity(upload);
    body.insert(QStringLiteral("part_number"), partNumber);
    return body;
}

QJsonObject finishCreateBody(const OpenedUpload &upload, const std::vector<UploadedPart> &parts,
                             const QString &name, std::optional<qint64> parentID,
                             const DriveAPI::LocalContent &content)
{
    QJsonObject body = uploadIdentity(upload);
    body.insert(QStringLiteral("parts"), partsArray(parts));
    body.insert(QStringLiteral("file_name"), name);
    body.insert(QStringLiteral("file_size"), content.size);
    body.insert(QStringLiteral("id_folder"), parentID.value_or(0));
    body.insert(QStringLiteral("content_type"), content.contentType);
    body.insert(QStringLiteral("storage_class"), standardClass);
    body.insert(QStringLiteral("content_hash"), content.contentHash);
    return body;
}

QJsonObject finishReplaceBody(const OpenedUpload &upload, const std::vector<UploadedPart> &parts,
                              const DriveAPI::LocalContent &content,
                              const ReplacePrecondition &precondition)
{
    QJsonObject body = uploadIdentity(upload);
    body.insert(QStringLiteral("parts"), partsArray(parts));
    body.insert(QStringLiteral("file_size"), content.size);
    body.insert(QStringLiteral("content_type"), content.contentType);
    body.insert(QStringLiteral("content_hash"), content.contentHash);
    if (precondition.ifContentHash)
        body.insert(QStringLiteral("if_content_hash"), *precondition.ifContentHash);
    if (precondition.ifDateUpload)
        body.insert(QStringLiteral("if_date_upload"), *precondition.ifDateUpload);
    return body;
}

QJsonObject abandonBody(const OpenedUpload &upload)
{
    return uploadIdentity(upload);
}

} // namespace OrvelanNimbal::Uploads
