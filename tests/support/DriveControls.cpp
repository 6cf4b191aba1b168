// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveControls.h"

#include "AsyncTest.h"
#include "LocalService.h"
#include "ServiceClient.h"
#include "models/WireConversions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>
#include <stdexcept>

namespace OrvelanNimbal::Testing {

DriveControls::DriveControls(const LocalService &service)
    : m_client(std::make_unique<httplib::Client>("127.0.0.1", service.port()))
{}

DriveControls::~DriveControls() = default;

QByteArray DriveControls::post(const std::string &path, const QByteArray &body)
{
    const httplib::Result result = m_client->Post(path, body.toStdString(), "application/json");
    if (!result)
        throw std::runtime_error("drive control " + path
                                 + " failed: " + httplib::to_string(result.error()));
    if (result->status < 200 || result->status > 299)
        throw std::runtime_error("drive control " + path + " answered "
                                 + std::to_string(result->status) + ": " + result->body);
    return QByteArray::fromStdString(result->body);
}

QByteArray DriveControls::get(const std::string &path)
{
    const httplib::Result result = m_client->Get(path);
    if (!result || result->status != 200)
        throw std::runtime_error("drive control " + path + " failed");
    return QByteArray::fromStdString(result->body);
}

DriveFile DriveControls::putFile(const QString &email, const NewFile &file)
{
    QJsonObject body{{QStringLiteral("email"), email},
                     {QStringLiteral("file_name"), file.name},
                     {QStringLiteral("id_folder"), file.folderID.value_or(0)},
                     {QStringLiteral("content"), QString::fromUtf8(file.content)},
                     {QStringLiteral("storage_class"), file.storageClass},
                     {QStringLiteral("thumbnails"), QJsonArray::fromStringList(file.thumbnails)}};
    if (!file.thumbnailPath.isEmpty())
        body.insert(QStringLiteral("file_miniatures_path"), file.thumbnailPath);
    const QByteArray record =
        post("/_test/drive/files", QJsonDocument(body).toJson(QJsonDocument::Compact));
    return fileFromWire(Json::decode<FileDTO>(record));
}

void DriveControls::startIdsAt(qint64 next)
{
    post("/_test/drive/ids",
         QJsonDocument(QJsonObject{{QStringLiteral("next"), next}}).toJson(QJsonDocument::Compact));
}

qint64 DriveControls::compactChanges(const QString &email)
{
    const QByteArray answer =
        post("/_test/drive/compact", QJsonDocument(QJsonObject{{QStringLiteral("email"), email}})
                                         .toJson(QJsonDocument::Compact));
    return QJsonDocument::fromJson(answer).object().value(u"cursor").toInteger(-1);
}

void DriveControls::setPresignedURLLifetime(qint64 seconds)
{
    post("/_test/lifetimes",
         QJsonDocument(QJsonObject{{QStringLiteral("presigned_url_seconds"), seconds}})
             .toJson(QJsonDocument::Compact));
}

DriveFile DriveControls::setFlags(const QString &email, qint64 fileID, const Flags &flags)
{
    QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("id"), fileID}};
    if (flags.locked)
        body.insert(QStringLiteral("locked"), *flags.locked);
    if (flags.reinforced)
        body.insert(QStringLiteral("reinforced"), *flags.reinforced);
    if (!flags.storageClass.isEmpty())
        body.insert(QStringLiteral("storage_class"), flags.storageClass);
    const QByteArray record =
        post("/_test/drive/flags", QJsonDocument(body).toJson(QJsonDocument::Compact));
    return fileFromWire(Json::decode<FileDTO>(record));
}

void DriveControls::storageFault(StorageFault fault, int count, int status)
{
    const QString name = fault == StorageFault::fail   ? QStringLiteral("fail")
                         : fault == StorageFault::drop ? QStringLiteral("drop")
                                                       : QStringLiteral("omit_etag");
    post("/_test/uploads/faults", QJsonDocument(QJsonObject{{QStringLiteral("fault"), name},
                                                            {QStringLiteral("count"), count},
                                                            {QStringLiteral("status"), status}})
                                      .toJson(QJsonDocument::Compact));
}

DriveControls::Leftovers DriveControls::leftovers(const QString &email)
{
    const QJsonObject answer =
        QJsonDocument::fromJson(
            get("/_test/uploads?email=" + QUrl::toPercentEncoding(email).toStdString()))
            .object();
    return {answer.value(u"uploads").toInt(-1), answer.value(u"parts").toInt(-1),
            answer.value(u"part_files").toInt(-1), answer.value(u"content_files").toInt(-1)};
}

DriveAccount signedInDriveAccount(LocalService &service, KeychainScope &keychain,
                                  const QString &tag, qint64 quotaMegabytes)
{
    static const QString password = QStringLiteral("drive-pass");
    const QString email = LocalService::uniqueEmail(tag);
    service.addAccount({email, password, {}, {}, false, quotaMegabytes});
    auto client = makeServiceClient(service, keychain);
    if (!runAsync(client->login(email, password)).session())
        throw std::runtime_error("a drive account should sign in without a second factor");
    return {email, client, DriveAPI(client)};
}

} // namespace OrvelanNimbal::Testing
