// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeUploadService.h"

#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace OrvelanNimbal::Testing {

namespace {

using Reply = FakeTransport::Reply;

QString stepOf(const HttpRequest &request)
{
    if (request.url.host() == QStringLiteral("storage.test"))
        return QStringLiteral("part");
    static const std::pair<QString, QString> endings[] = {
        {QStringLiteral("/drive/upload/file"), QStringLiteral("directCreate")},
        {QStringLiteral("/content"), QStringLiteral("directReplace")},
        {QStringLiteral("/multipart/init"), QStringLiteral("open")},
        {QStringLiteral("/multipart/presign"), QStringLiteral("presign")},
        {QStringLiteral("/multipart/complete"), QStringLiteral("finishCreate")},
        {QStringLiteral("/content/complete"), QStringLiteral("finishReplace")},
        {QStringLiteral("/multipart/abort"), QStringLiteral("abort")},
        {QStringLiteral("/download-url"), QStringLiteral("grant")},
    };
    const QString path = request.url.path();
    for (const auto &[ending, step] : endings)
        if (path.endsWith(ending))
            return step;
    return QStringLiteral("unknown ") + path;
}

FakeUploadService::Route answering(const char *json)
{
    return [json](const HttpRequest &) { return Reply::ok(json); };
}

} // namespace

QByteArray generatedContent(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    const qint64 words = size / qint64(sizeof(quint32));
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), words);
    for (qint64 i = words * qint64(sizeof(quint32)); i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

FakeUploadService::FakeUploadService()
{
    routes[QStringLiteral("directCreate")] =
        answering(R"({"id":501,"s3_key":"k/direct","file_miniatures_path":"t_256x256.jpg"})");
    routes[QStringLiteral("directReplace")] = routes[QStringLiteral("finishReplace")] =
        answering(R"({"id":77,"file_path":"k/replaced","file_size":5,"content_hash":"srvhash",
                      "date_upload":1700000100,"storage_class":"standard"})");
    // A part size of its own, which the client must not follow.
    routes[QStringLiteral("open")] =
        answering(R"({"upload_id":"U1","s3_key":"k/multi","part_size":5242880})");
    routes[QStringLiteral("presign")] = [](const HttpRequest &request) {
        const int number =
            QJsonDocument::fromJson(request.body.toByteArray())[u"part_number"].toInt();
        return Reply::ok(
            QByteArray(R"({"url":"https://storage.test/k/multi?partNumber=%1&X-Sig=s3cr3t"})")
                .replace("%1", QByteArray::number(number)));
    };
    // The storage quotes its ETags; odd parts spell the header one way, even parts another.
    routes[QStringLiteral("part")] = [](const HttpRequest &request) {
        const QString number = QUrlQuery(request.url).queryItemValue(QStringLiteral("partNumber"));
        const QByteArray name = number.toInt() % 2 ? "ETag" : "etag";
        return Reply::withStatus(200, {}, {{name, "\"etag-" + number.toUtf8() + '"'}});
    };
    routes[QStringLiteral("finishCreate")] = answering(R"({"id":502,"s3_key":"k/final"})");
    routes[QStringLiteral("abort")] = answering("{}");
    routes[QStringLiteral("grant")] =
        answering(R"({"url":"https://storage.test/dl","expires_in":900,
                      "content_hash":"srvhash","date_upload":1700000000})");
    transport->setHandler([this](const HttpRequest &request) {
        const auto route = routes.constFind(stepOf(request));
        return route == routes.constEnd() ? Reply::withStatus(404) : (*route)(request);
    });
}

DriveAPI::LocalContent FakeUploadService::localFile(const QByteArray &bytes, qint64 declaredSize)
{
    QFile file(m_folder.filePath(QString::number(++m_files)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the file to upload");
    return {QUrl::fromLocalFile(file.fileName()), declaredSize < 0 ? bytes.size() : declaredSize,
            QStringLiteral("localhash"), QStringLiteral("text/plain")};
}

QString FakeUploadService::steps() const
{
    QStringList names;
    for (const HttpRequest &request : transport->requests())
        names.append(stepOf(request));
    return names.join(u' ');
}

QList<HttpRequest> FakeUploadService::requests(const QString &step) const
{
    QList<HttpRequest> matching;
    for (const HttpRequest &request : transport->requests())
        if (stepOf(request) == step)
            matching.append(request);
    return matching;
}

} // namespace OrvelanNimbal::Testing
