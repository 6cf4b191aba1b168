// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeUploadService.h"

#include "AsyncTest.h"
#include "auth/InMemoryStores.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrlQuery>

namespace OrvelanNimbal::Testing {

namespace {

FakeTransport::Reply okJson(const QJsonObject &object)
{
    return FakeTransport::Reply::ok(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

QString stepOf(const HttpRequest &request)
{
    if (request.url.host() == FakeUploadService::storageHost)
        return QStringLiteral("part");
    const QString path = request.url.path();
    static const QList<std::pair<QRegularExpression, QString>> steps = {
        {QRegularExpression(QStringLiteral("/drive/upload/file$")), QStringLiteral("directCreate")},
        {QRegularExpression(QStringLiteral("/drive/files/\\d+/content$")),
         QStringLiteral("directReplace")},
        {QRegularExpression(QStringLiteral("/drive/upload/multipart/init$")),
         QStringLiteral("open")},
        {QRegularExpression(QStringLiteral("/drive/upload/multipart/presign$")),
         QStringLiteral("presign")},
        {QRegularExpression(QStringLiteral("/drive/upload/multipart/complete$")),
         QStringLiteral("finishCreate")},
        {QRegularExpression(QStringLiteral("/drive/files/\\d+/content/complete$")),
         QStringLiteral("finishReplace")},
        {QRegularExpression(QStringLiteral("/drive/upload/multipart/abort$")),
         QStringLiteral("abort")},
        {QRegularExpression(QStringLiteral("/drive/files/\\d+/download-url$")),
         QStringLiteral("grant")},
    };
    for (const auto &[pattern, step] : steps) {
        if (pattern.match(path).hasMatch())
            return step;
    }
    return QStringLiteral("unknown ") + path;
}

FakeUploadService::FakeUploadService()
{
    routes[QStringLiteral("directCreate")] = [](const HttpRequest &) {
        return okJson({{QStringLiteral("id"), 501},
                       {QStringLiteral("s3_key"), QStringLiteral("k/direct")},
                       {QStringLiteral("file_miniatures_path"), QStringLiteral("t_256x256.jpg")}});
    };
    const Route replaced = [](const HttpRequest &) {
        return okJson({{QStringLiteral("id"), 77},
                       {QStringLiteral("file_path"), QStringLiteral("k/replaced")},
                       {QStringLiteral("file_size"), 5},
                       {QStringLiteral("content_hash"), QStringLiteral("srvhash")},
                       {QStringLiteral("date_upload"), 1700000100},
                       {QStringLiteral("storage_class"), QStringLiteral("standard")}});
    };
    routes[QStringLiteral("directReplace")] = replaced;
    routes[QStringLiteral("finishReplace")] = replaced;
    // A part size of its own, which the client must not follow.
    routes[QStringLiteral("open")] = [](const HttpRequest &) {
        return okJson({{QStringLiteral("upload_id"), uploadID},
                       {QStringLiteral("s3_key"), storageKey},
                       {QStringLiteral("part_size"), 5242880}});
    };
    routes[QStringLiteral("presign")] = [](const HttpRequest &request) {
        const int number = json(request).value(QStringLiteral("part_number")).toInt();
        return okJson({{QStringLiteral("url"),
                        QStringLiteral("https://storage.test/k/multi?partNumber=%1&X-Sig=s3cr3t")
                            .arg(number)}});
    };
    // The storage quotes its ETags; odd parts spell the header one way, even parts another.
    routes[QStringLiteral("part")] = [](const HttpRequest &request) {
        const QString number = QUrlQuery(request.url).queryItemValue(QStringLiteral("partNumber"));
        const QByteArray name = number.toInt() % 2 ? "ETag" : "etag";
        return Reply::withStatus(200, {}, {{name, "\"etag-" + number.toUtf8() + '"'}});
    };
    routes[QStringLiteral("finishCreate")] = [](const HttpRequest &) {
        return okJson(
            {{QStringLiteral("id"), 502}, {QStringLiteral("s3_key"), QStringLiteral("k/final")}});
    };
    routes[QStringLiteral("abort")] = [](const HttpRequest &) { return Reply::ok(); };
    routes[QStringLiteral("grant")] = [](const HttpRequest &) {
        return okJson({{QStringLiteral("url"), QStringLiteral("https://storage.test/dl")},
                       {QStringLiteral("expires_in"), 900},
                       {QStringLiteral("content_hash"), QStringLiteral("srvhash")},
                       {QStringLiteral("date_upload"), 1700000000}});
    };

    client = ApiClient::create(
        DriveConfiguration(QUrl(QStringLiteral("https://api.test/api/v1")), 3,
                           std::chrono::milliseconds(400), 60),
        transport,
        std::make_shared<InMemorySessionStore>(DriveSession{
            QStringLiteral("ana@orvelan.net"), QStringLiteral("tok"), QStringLiteral("pw")}),
        std::make_shared<InMemoryTrustedDeviceStore>(), clock);
    runAsync(client->restoreSession());
    transport->setHandler([this](const HttpRequest &request) { return answer(request); });
}

FakeTransport::Reply FakeUploadService::answer(const HttpRequest &request) const
{
    const auto route = routes.constFind(stepOf(request));
    if (route == routes.constEnd())
        return Reply::withStatus(404);
    return (*route)(request);
}

QStringList FakeUploadService::steps() const
{
    QStringList names;
    for (const HttpRequest &request : transport->requests())
        names.append(stepOf(request));
    return names;
}

QList<HttpRequest> FakeUploadService::requests(const QString &step) const
{
    QList<HttpRequest> matching;
    for (const HttpRequest &request : transport->requests()) {
        if (stepOf(request) == step)
            matching.append(request);
    }
    return matching;
}

QList<QByteArray> FakeUploadService::partBodies() const
{
    QList<QByteArray> bodies;
    for (const HttpRequest &request : requests(QStringLiteral("part")))
        bodies.append(request.body);
    return bodies;
}

QJsonObject FakeUploadService::json(const HttpRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QByteArray FakeUploadService::boundary(const HttpRequest &request)
{
    const QByteArray prefix = "multipart/form-data; boundary=";
    const QByteArray type = request.header("Content-Type").value_or(QByteArray());
    return type.startsWith(prefix) ? type.sliced(prefix.size()) : QByteArray();
}

QJsonObject FakeUploadService::abortBody()
{
    return {{QStringLiteral("s3_key"), storageKey}, {QStringLiteral("upload_id"), uploadID}};
}

QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + i / 8388608) % 251);
    return bytes;
}

} // namespace OrvelanNimbal::Testing
