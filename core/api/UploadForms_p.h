// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The bodies an upload sends: the multipart forms of the direct uploads and the JSON objects of
// the multipart upload's steps.

#include "api/DriveAPI.h"
#include "net/MultipartForm.h"

#include <QJsonObject>

namespace OrvelanNimbal::Uploads {

// Where a multipart upload stores its parts, as the service opened it.
struct OpenedUpload {
    QString uploadID;
    QString storageKey;
    qint64 partSize = 0;
};

// "orvelan-" and a random UUID in upper case: fresh for every form, so that no content can
// contain it by design.
QString newBoundary();

// The content goes as a region of the local file, read as the form is sent.
MultipartForm directCreateForm(const QString &name, std::optional<qint64> parentID,
                               const DriveAPI::LocalContent &content, FileRegion data);
MultipartForm directReplaceForm(const DriveFile &file, const DriveAPI::LocalContent &content,
                                const ReplacePrecondition &precondition, FileRegion data);

QJsonObject openBody(const QString &name, std::optional<qint64> parentID,
                     const DriveAPI::LocalContent &content);
QJsonObject presignBody(const OpenedUpload &upload, int partNumber);
QJsonObject finishCreateBody(const OpenedUpload &upload, const std::vector<UploadedPart> &parts,
                             const QString &name, std::optional<qint64> parentID,
                             const DriveAPI::LocalContent &content);
QJsonObject finishReplaceBody(const OpenedUpload &upload, const std::vector<UploadedPart> &parts,
                              const DriveAPI::LocalContent &content,
                              const ReplacePrecondition &precondition);
QJsonObject abandonBody(const OpenedUpload &upload);

} // namespace OrvelanNimbal::Uploads
