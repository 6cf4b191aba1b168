// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/CurlUpload.h"

#include "AsyncTest.h"
#include "client/ApiClient.h"
#include "models/DriveDTOs.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>

#include <cstdio>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace Bench {

qint64 uploadWithCurl(ApiClient &client, const GeneratedFile &file)
{
    const MultipartInitDTO opened = runAsync(client.post<MultipartInitDTO>(
        QStringLiteral("/drive/upload/multipart/init"),
        QJsonObject{{QStringLiteral("file_name"), QStringLiteral("curl.bin")},
                    {QStringLiteral("file_size"), qint64(file.size())},
                    {QStringLiteral("id_folder"), 0},
                    {QStringLiteral("content_type"), QStringLiteral("application/octet-stream")},
                    {QStringLiteral("storage_class"), QStringLiteral("standard")}}));
    const QJsonObject identity{{QStringLiteral("s3_key"), opened.s3Key},
                               {QStringLiteral("upload_id"), opened.uploadID}};
    QJsonObject presign = identity;
    presign.insert(QStringLiteral("part_number"), 1);
    const PresignDTO part = runAsync(
        client.post<PresignDTO>(QStringLiteral("/drive/upload/multipart/presign"), presign));

    QProcess curl;
    // Both ask for the go-ahead before sending a large body ("Expect: 100-continue").
    const QStringList arguments{QStringLiteral("--silent"),
                                QStringLiteral("--show-error"),
                                QStringLiteral("--fail"),
                                QStringLiteral("--upload-file"),
                                file.path(),
                                QStringLiteral("--output"),
                                QStringLiteral("/dev/null"),
                                part.url};
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), arguments);
    const bool finished = curl.waitForFinished(600000);
    const qint64 elapsed = timer.nsecsElapsed();
    runAsync(client.post(QStringLiteral("/drive/upload/multipart/abort"), identity));
    if (!finished || curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        return -1;
    }
    return elapsed;
}

} // namespace Bench
