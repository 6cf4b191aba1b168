// SPDX-License-Identifier: GPL-3.0-or-later
// What the fake drive answers to changes: the tree's operations and content sent to it.
#include "FakeDrive.h"

#include "json/Utf8Text.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace OrvelanNimbal::Testing {

namespace {

using Reply = FakeTransport::Reply;

QString sha256(const QByteArray &content)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

Reply json(const QJsonObject &object)
{
    return Reply::ok(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject objectBody(const HttpRequest &request)
{
    return parsedJson(request.body.toByteArray()).object();
}

// A multipart/form-data body as the client builds it: its fields by name, and the file part's
// name and bytes. Enough for the forms of the upload routes, nothing more.
struct Form {
    QMap<QString, QByteArray> fields;
    QString fileName;
    QByteArray file;
};

Form formOf(const HttpRequest &request)
{
    Form form;
    const QByteArray type = request.header("Content-Type").value_or(QByteArray());
    const QByteArray delimiter = "--" + type.sliced(type.indexOf("boundary=") + 9);
    const QByteArray body = request.body.toByteArray();
    static const QRegularExpression nameOf(QStringLiteral("\\bname=\"([^\"]*)\""));
    static const QRegularExpression fileNameOf(QStringLiteral("filename=\"([^\"]*)\""));
    for (qsizetype at = body.indexOf(delimiter); at >= 0;) {
        const qsizetype start = at + delimiter.size() + 2; // past the line break
        const qsizetype next = body.indexOf(delimiter, start);
        if (next < 0)
            break;
        const QByteArray part = body.sliced(start, next - 2 - start); // without the line break
        const qsizetype headEnd = part.indexOf("\r\n\r\n");
        const QString head = utf8Text(part.first(headEnd));
        const QByteArray value = part.sliced(headEnd + 4);
        const QString name = nameOf.match(head).captured(1);
        if (const auto file = fileNameOf.match(head); file.hasMatch()) {
            form.fileName = file.captured(1);
            form.file = value;
        } else {
            form.fields.insert(name, value);
        }
        at = next;
    }
    return form;
}

std::optional<qint64> idIn(const QString &path, const QRegularExpression &pattern)
{
    const auto match = pattern.match(path);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

} // namespace

FakeTransport::Reply FakeDrive::answerTreeChange(const HttpRequest &request)
{
    const QString path = request.url.path();
    const auto live = [&](qint64 id, bool folder) {
        const auto found = m_items.constFind(id);
        return found != m_items.cend() && !found->trashed && found->folder == folder;
    };
    if (request.method == "POST" && path.endsWith(u"/drive/folders")) {
        const QJsonObject body = objectBody(request);
        const qint64 parent = std::max<qint64>(0, body.value(u"id_parent").toInteger());
        const QString name = body.value(u"folder_name").toString();
        if (!isLiveFolder(parent))
            return Reply::withStatus(404);
        if (nameTaken(parent, name))
            return Reply::withStatus(409);
        return json(QJsonObject{{u"id"_qs, addFolder(name, parent)}});
    }
    static const QRegularExpression renamed(QStringLiteral("/drive/files/(\\d+)/rename$"));
    if (const auto id = idIn(path, renamed)) {
        // A bare JSON string: read inside an array, which the reader takes.
        const QByteArray wrapped = '[' + request.body.toByteArray() + ']';
        const QString name = parsedJson(wrapped).array().at(0).toString();
        if (!live(*id, false))
            return Reply::withStatus(404);
        if (nameTaken(m_items[*id].parent, name, *id))
            return Reply::withStatus(409);
        rename(*id, name);
        return json({});
    }
    static const QRegularExpression folder(QStringLiteral("/drive/folders/(\\d+)$"));
    if (const auto id = idIn(path, folder)) {
        const QJsonObject body = objectBody(request);
        if (!live(*id, true))
            return Reply::withStatus(404);
        Item changed = m_items[*id];
        if (body.contains(u"folder_name"))
            changed.name = body.value(u"folder_name").toString();
        if (body.contains(u"parent_id"))
            changed.parent = std::max<qint64>(0, body.value(u"parent_id").toInteger());
        if (!isLiveFolder(changed.parent))
            return Reply::withStatus(404);
        for (qint64 up = changed.parent; up != 0; up = m_items[up].parent) {
            if (up == *id)
                return Reply::withStatus(400);
        }
        if (nameTaken(changed.parent, changed.name, *id))
            return Reply::withStatus(409);
        m_items[*id] = changed;
        touch(m_items[*id]);
        return json({});
    }
    const QJsonObject body = objectBody(request);
    std::vector<qint64> ids;
    const QJsonArray fileIDs = body.value(u"file_ids").toArray();
    const QJsonArray folderIDs = body.value(u"folder_ids").toArray();
    for (const QJsonValue &id : fileIDs) {
        if (!live(id.toInteger(), false))
            return Reply::withStatus(404);
        ids.push_back(id.toInteger());
    }
    for (const QJsonValue &id : folderIDs) {
        if (!live(id.toInteger(), true))
            return Reply::withStatus(404);
        ids.push_back(id.toInteger());
    }
    if (path.endsWith(u"/drive/move")) {
        const qint64 target = std::max<qint64>(0, body.value(u"target_folder_id").toInteger());
        if (!isLiveFolder(target))
            return Reply::withStatus(404);
        for (qint64 id : ids) {
            if (nameTaken(target, m_items[id].name, id))
                return Reply::withStatus(409);
        }
        for (qint64 id : ids)
            move(id, target);
        return json({});
    }
    if (path.endsWith(u"/drive/bulk-delete")) {
        for (qint64 id : ids) {
            if (!m_items[id].trashed)
                trash(id);
        }
        return json({});
    }
    return Reply::withStatus(404);
}

FakeTransport::Reply FakeDrive::store(std::optional<qint64> id, const QString &name, qint64 parent,
                                      const QByteArray &content, const QString &ifHash,
                                      std::optional<qint64> ifDate)
{
    if (!id) {
        if (!isLiveFolder(parent))
            return Reply::withStatus(404);
        if (nameTaken(parent, name))
            return Reply::withStatus(409);
        const qint64 created = addFile(name, content, parent);
        return json(QJsonObject{{u"id"_qs, created},
                                {u"s3_key"_qs, QStringLiteral("content/%1").arg(created)}});
    }
    const auto found = m_items.constFind(*id);
    if (found == m_items.cend() || found->trashed || found->folder)
        return Reply::withStatus(404);
    if (found->locked)
        return Reply::withStatus(423);
    if (found->storageClass != u"standard")
        return Reply::withStatus(409, {}, {{"X-Drive-Conflict", "archived"}});
    if ((!ifHash.isEmpty() && ifHash != sha256(found->content))
        || (ifDate && *ifDate != found->uploaded))
        return Reply::withStatus(409);
    write(*id, content);
    const Item &file = m_items[*id];
    return json(QJsonObject{{u"id"_qs, file.id},
                            {u"file_path"_qs, QStringLiteral("content/%1").arg(file.id)},
                            {u"file_size"_qs, file.content.size()},
                            {u"content_hash"_qs, sha256(file.content)},
                            {u"date_upload"_qs, file.uploaded},
                            {u"storage_class"_qs, file.storageClass}});
}

FakeTransport::Reply FakeDrive::answerUpload(const HttpRequest &request)
{
    const QString path = request.url.path();
    static const QRegularExpression replaced(QStringLiteral("/drive/files/(\\d+)/content$"));
    static const QRegularExpression completed(
        QStringLiteral("/drive/files/(\\d+)/content/complete$"));
    const auto optionalDate = [](const QByteArray &text) -> std::optional<qint64> {
        if (text.isEmpty())
            return std::nullopt;
        return text.toLongLong();
    };
    if (path.endsWith(u"/drive/upload/file")) {
        if (m_refuseDirect)
            return Reply::withStatus(413);
        const Form form = formOf(request);
        return store(std::nullopt, form.fileName, form.fields.value(u"id_folder"_qs).toLongLong(),
                     form.file, {}, std::nullopt);
    }
    if (const auto id = idIn(path, replaced)) {
        if (m_refuseDirect)
            return Reply::withStatus(413);
        const Form form = formOf(request);
        return store(*id, {}, 0, form.file,
                     QString::fromLatin1(form.fields.value(u"if_content_hash"_qs)),
                     optionalDate(form.fields.value(u"if_date_upload"_qs)));
    }
    if (request.url.host() == u"storage.test") {
        // PUT /parts/<upload>/<number>
        const QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
        auto upload = m_uploads.find(pieces.value(1));
        if (upload == m_uploads.end())
            return Reply::withStatus(404);
        const QByteArray bytes = request.body.toByteArray();
        upload->parts.insert(pieces.value(2).toInt(), bytes);
        return Reply::withStatus(200, {}, {{"ETag", '"' + sha256(bytes).toLatin1() + '"'}});
    }
    const QJsonObject body = objectBody(request);
    const QString uploadID = body.value(u"upload_id").toString();
    if (path.endsWith(u"/multipart/init")) {
        const QString opened = QStringLiteral("upload-%1").arg(++m_uploadCount);
        m_uploads.insert(opened, {QStringLiteral("parts/%1").arg(opened), {}});
        return json(QJsonObject{{u"upload_id"_qs, opened},
                                {u"s3_key"_qs, m_uploads[opened].key},
                                {u"part_size"_qs, 8388608}});
    }
    if (!m_uploads.contains(uploadID))
        return Reply::withStatus(404);
    if (path.endsWith(u"/multipart/presign")) {
        return json(QJsonObject{{u"url"_qs, QStringLiteral("https://storage.test/parts/%1/%2")
                                                .arg(uploadID)
                                                .arg(body.value(u"part_number").toInt())}});
    }
    const Upload upload = m_uploads.take(uploadID);
    if (path.endsWith(u"/multipart/abort"))
        return json(QJsonObject{{u"success"_qs, true}});
    QByteArray content;
    for (const QByteArray &part : upload.parts)
        content += part;
    if (path.endsWith(u"/multipart/complete"))
        return store(std::nullopt, body.value(u"file_name").toString(),
                     body.value(u"id_folder").toInteger(), content, {}, std::nullopt);
    if (const auto id = idIn(path, completed)) {
        std::optional<qint64> ifDate;
        if (body.contains(u"if_date_upload"))
            ifDate = body.value(u"if_date_upload").toInteger();
        return store(*id, {}, 0, content, body.value(u"if_content_hash").toString(), ifDate);
    }
    return Reply::withStatus(404);
}

} // namespace OrvelanNimbal::Testing
