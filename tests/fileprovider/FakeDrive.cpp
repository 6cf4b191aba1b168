// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeDrive.h"

#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace OrvelanNimbal::Testing {

namespace {

QString sha256(const QByteArray &content)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

FakeTransport::Reply json(const QJsonValue &value)
{
    return FakeTransport::Reply::ok(
        value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                        : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

} // namespace

qint64 FakeDrive::touch(Item &item)
{
    item.stamp = ++m_cursor;
    return item.id;
}

qint64 FakeDrive::addFolder(const QString &name, qint64 parent)
{
    Item folder;
    folder.id = m_nextId++;
    folder.folder = true;
    folder.parent = parent;
    folder.name = name;
    m_items.insert(folder.id, folder);
    return touch(m_items[folder.id]);
}

qint64 FakeDrive::addFile(const QString &name, const QByteArray &content, qint64 parent,
                          const QString &storageClass)
{
    Item file;
    file.id = m_nextId++;
    file.parent = parent;
    file.name = name;
    file.content = content;
    file.storageClass = storageClass;
    m_items.insert(file.id, file);
    return touch(m_items[file.id]);
}

void FakeDrive::rename(qint64 id, const QString &name)
{
    m_items[id].name = name;
    touch(m_items[id]);
}

void FakeDrive::move(qint64 id, qint64 parent)
{
    m_items[id].parent = parent;
    touch(m_items[id]);
}

void FakeDrive::write(qint64 id, const QByteArray &content)
{
    Item &file = m_items[id];
    file.content = content;
    file.uploaded += 10;
    file.modified += 10;
    touch(file);
}

// A test drive is a few levels deep.
// NOLINTNEXTLINE(misc-no-recursion)
void FakeDrive::trash(qint64 id)
{
    Item &item = m_items[id];
    item.trashed = true;
    touch(item);
    if (!item.folder)
        return;
    for (const Item &child : std::as_const(m_items)) {
        if (child.parent == id && !child.trashed)
            trash(child.id);
    }
}

void FakeDrive::failRequests(const QString &fragment, int status, int count)
{
    for (int i = 0; i < count; ++i)
        m_failures.append({fragment, status});
}

int FakeDrive::requestsFor(const QString &fragment) const
{
    return int(std::count_if(m_paths.begin(), m_paths.end(),
                             [&](const QString &path) { return path.contains(fragment); }));
}

QByteArray FakeDrive::itemJson(const Item &item) const
{
    QJsonObject object{{u"id"_qs, item.id},
                       {u"date_modified"_qs, item.modified},
                       {u"to_delete"_qs, item.trashed ? 1 : 0}};
    // An empty name stays a string: a null one would be a JSON null.
    const QString name = item.name.isEmpty() ? QStringLiteral("") : item.name;
    if (item.folder) {
        object.insert(u"id_parent"_qs, item.parent);
        object.insert(u"folder_name"_qs, name);
    } else {
        object.insert(u"id_folder"_qs, item.parent);
        object.insert(u"file_name"_qs, name);
        object.insert(u"file_size"_qs, item.content.size());
        object.insert(u"content_hash"_qs, sha256(item.content));
        object.insert(u"date_upload"_qs, item.uploaded);
        object.insert(u"storage_class"_qs, item.storageClass);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

FakeTransport::Reply FakeDrive::answer(const HttpRequest &request)
{
    const QString path = request.url.path() + u'?' + request.url.query();
    m_paths.append(path);
    for (qsizetype i = 0; i < m_failures.size(); ++i) {
        if (path.contains(m_failures[i].first))
            return FakeTransport::Reply::withStatus(m_failures.takeAt(i).second);
    }
    const QUrlQuery query(request.url);
    const auto listed = [&](bool folders, std::optional<qint64> parent, qint64 since) {
        QJsonArray array;
        for (const Item &item : std::as_const(m_items)) {
            const bool inFeed = since >= 0 && item.stamp > since;
            const bool inListing = since < 0 && !item.trashed && item.parent == parent.value_or(0);
            if (item.folder == folders && (inFeed || inListing))
                array.append(QJsonDocument::fromJson(itemJson(item)).object());
        }
        return array;
    };
    if (request.url.path().endsWith(u"/drive/changes")) {
        const qint64 since = query.queryItemValue(u"since"_qs).toLongLong();
        if (since < m_oldest || since > m_cursor)
            return FakeTransport::Reply::withStatus(410);
        return json(QJsonObject{{u"cursor"_qs, m_cursor},
                                {u"folders"_qs, listed(true, {}, since)},
                                {u"files"_qs, listed(false, {}, since)}});
    }
    if (request.method == "POST" && request.url.path().endsWith(u"/drive/folders")) {
        const QJsonObject body = QJsonDocument::fromJson(request.body.toByteArray()).object();
        const qint64 parent = body.value(u"id_parent").toInteger();
        return json(QJsonObject{
            {u"id"_qs, addFolder(body.value(u"folder_name").toString(), parent > 0 ? parent : 0)}});
    }
    if (request.url.path().endsWith(u"/drive/folders"))
        return json(listed(true, query.queryItemValue(u"id_parent"_qs).toLongLong(), -1));
    if (request.url.path().endsWith(u"/drive/files"))
        return json(listed(false, query.queryItemValue(u"id_folder"_qs).toLongLong(), -1));
    static const QRegularExpression grant(QStringLiteral("/drive/files/(\\d+)/download-url$"));
    if (const auto match = grant.match(request.url.path()); match.hasMatch()) {
        const qint64 id = match.captured(1).toLongLong();
        if (!m_items.contains(id) || m_items[id].trashed)
            return FakeTransport::Reply::withStatus(404);
        const Item &file = m_items[id];
        return json(QJsonObject{{u"url"_qs, QStringLiteral("https://storage.test/%1").arg(id)},
                                {u"file_size"_qs, file.content.size()},
                                {u"content_hash"_qs, sha256(file.content)},
                                {u"date_upload"_qs, file.uploaded}});
    }
    return FakeTransport::Reply::withStatus(404);
}

QCoro::Task<> FakeDownloads::download(QUrl url, QString destination, Expected expected,
                                      Progress progress, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    const qint64 id = url.path().sliced(1).toLongLong();
    const QByteArray content = m_drive.item(id).content;
    QFile file(destination);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(destination, file.errorString());
    file.write(content);
    file.close();
    if (m_failing.remove(id))
        throw DriveError::transport(QStringLiteral("connexion coupée"));
    if (expected.size && *expected.size != content.size())
        throw DriveError::transport(QStringLiteral("taille"));
    if (expected.sha256 && *expected.sha256 != sha256(content))
        throw DriveError::transport(QStringLiteral("empreinte"));
    ++m_served;
    if (progress)
        progress(content.size());
    co_return;
}

} // namespace OrvelanNimbal::Testing
