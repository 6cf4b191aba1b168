// SPDX-License-Identifier: GPL-3.0-or-later
// The fake drive's state and what it answers to reading: listings, the feed, download grants.
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

QJsonDocument parsedJson(QByteArray body)
{
    return QJsonDocument::fromJson(body.replace("\xEF\xBB\xBF", "\\ufeff"));
}

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
    file.uploaded = ++m_clockSeconds;
    m_items.insert(file.id, file);
    m_history.insert(content);
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
    file.uploaded = ++m_clockSeconds;
    file.modified = m_clockSeconds;
    m_history.insert(content);
    touch(file);
}

void FakeDrive::setStorageClass(qint64 id, const QString &storageClass)
{
    m_items[id].storageClass = storageClass;
    touch(m_items[id]);
}

void FakeDrive::trash(qint64 id)
{
    // A list of folders still to empty rather than a call per level.
    std::vector<qint64> pending{id};
    while (!pending.empty()) {
        Item &item = m_items[pending.back()];
        pending.pop_back();
        item.trashed = true;
        touch(item);
        if (!item.folder)
            continue;
        for (const Item &child : std::as_const(m_items)) {
            if (child.parent == item.id && !child.trashed)
                pending.push_back(child.id);
        }
    }
}

void FakeDrive::failRequests(const QString &fragment, int status, int count,
                             const HttpHeaders &headers)
{
    for (int i = 0; i < count; ++i)
        m_failures.append({fragment, FakeTransport::Reply::withStatus(status, {}, headers)});
}

void FakeDrive::answerRequests(const QString &fragment, const FakeTransport::Reply &reply,
                               int count)
{
    for (int i = 0; i < count; ++i)
        m_failures.append({fragment, reply});
}

int FakeDrive::requestsFor(const QString &fragment) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const QString &request) { return request.contains(fragment); }));
}

bool FakeDrive::isLiveFolder(qint64 id) const
{
    if (id == 0)
        return true;
    const auto found = m_items.constFind(id);
    return found != m_items.cend() && found->folder && !found->trashed;
}

bool FakeDrive::nameTaken(qint64 parent, const QString &name, qint64 except) const
{
    return std::any_of(m_items.cbegin(), m_items.cend(), [&](const Item &item) {
        return !item.trashed && item.parent == parent && item.name == name && item.id != except;
    });
}

QString FakeDrive::pathOf(const Item &item) const
{
    QString path = item.name;
    for (qint64 parent = item.parent; parent != 0; parent = m_items[parent].parent)
        path = m_items[parent].name + u'/' + path;
    return path;
}

std::optional<qint64> FakeDrive::find(const QString &path) const
{
    for (const Item &item : m_items) {
        if (!item.trashed && pathOf(item) == path)
            return item.id;
    }
    return std::nullopt;
}

QMap<QString, QByteArray> FakeDrive::tree() const
{
    QMap<QString, QByteArray> tree;
    for (const Item &item : m_items) {
        if (item.trashed || (!item.folder && item.storageClass != u"standard"))
            continue;
        tree.insert(pathOf(item), item.folder ? QByteArray() : item.content);
    }
    return tree;
}

QJsonObject FakeDrive::itemJson(const Item &item) const
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
    return object;
}

FakeTransport::Reply FakeDrive::answer(const HttpRequest &request)
{
    const QString line = QString::fromLatin1(request.method) + u' ' + request.url.path() + u'?'
                         + request.url.query();
    m_requests.append(line);
    for (qsizetype i = 0; i < m_failures.size(); ++i) {
        if (line.contains(m_failures[i].first))
            return m_failures.takeAt(i).second;
    }
    if (request.method == "GET")
        return answerRead(request);
    if (request.url.path().contains(u"/upload/") || request.url.path().endsWith(u"/content")
        || request.url.path().endsWith(u"/content/complete")
        || request.url.host() == u"storage.test")
        return answerUpload(request);
    return answerTreeChange(request);
}

FakeTransport::Reply FakeDrive::answerRead(const HttpRequest &request)
{
    const QUrlQuery query(request.url);
    const auto listed = [&](bool folders, std::optional<qint64> parent, qint64 since) {
        QJsonArray array;
        for (const Item &item : std::as_const(m_items)) {
            const bool inFeed = since >= 0 && item.stamp > since;
            const bool inListing = since < 0 && !item.trashed && item.parent == parent.value_or(0);
            if (item.folder == folders && (inFeed || inListing))
                array.append(itemJson(item));
        }
        return array;
    };
    const QString path = request.url.path();
    if (path.endsWith(u"/drive/changes")) {
        const qint64 since = query.queryItemValue(u"since"_qs).toLongLong();
        const bool fromStart = since == 0 && m_feedFromStart;
        if (!fromStart && (since < m_oldest || since > m_cursor))
            return FakeTransport::Reply::withStatus(410);
        // From the start, the whole drive as it is: what the trash holds is left out.
        QJsonObject answer{{u"cursor"_qs, m_cursor}};
        QJsonArray folders = listed(true, {}, since);
        QJsonArray files = listed(false, {}, since);
        if (fromStart) {
            const auto live = [](const QJsonArray &all) {
                QJsonArray kept;
                for (const QJsonValue &item : all) {
                    if (item.toObject().value(u"to_delete").toInt() == 0)
                        kept.append(item);
                }
                return kept;
            };
            folders = live(folders);
            files = live(files);
        }
        answer.insert(u"folders"_qs, folders);
        answer.insert(u"files"_qs, files);
        return json(answer);
    }
    const auto listedParent = [&](const QString &key) -> std::optional<qint64> {
        if (!query.hasQueryItem(key))
            return qint64(0);
        const qint64 id = query.queryItemValue(key).toLongLong();
        if (!isLiveFolder(id))
            return std::nullopt;
        return id;
    };
    if (path.endsWith(u"/drive/folders")) {
        const auto parent = listedParent(u"id_parent"_qs);
        return parent ? json(listed(true, *parent, -1)) : FakeTransport::Reply::withStatus(404);
    }
    if (path.endsWith(u"/drive/files")) {
        const auto parent = listedParent(u"id_folder"_qs);
        return parent ? json(listed(false, *parent, -1)) : FakeTransport::Reply::withStatus(404);
    }
    static const QRegularExpression grant(QStringLiteral("/drive/files/(\\d+)/download-url$"));
    if (const auto match = grant.match(path); match.hasMatch()) {
        const qint64 id = match.captured(1).toLongLong();
        if (!m_items.contains(id) || m_items[id].trashed || m_items[id].folder)
            return FakeTransport::Reply::withStatus(404);
        const Item &file = m_items[id];
        if (file.storageClass != u"standard")
            return FakeTransport::Reply::withStatus(409, {}, {{"X-Drive-Conflict", "archived"}});
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
