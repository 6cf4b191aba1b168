// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeTransport.h"
#include "transfer/ContentDownloads.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>

#include <optional>

namespace OrvelanNimbal::Testing {

// A drive in memory that answers the client's requests as the service does: listings, the
// change feed (every change stamped with the next cursor, 410 for a cursor it forgot), download
// grants, folders and files made, renamed, moved and trashed, content sent directly or in parts
// with its preconditions, and content for its own storage addresses. Names are compared as they
// are, character for character. Changes made here are seen by the engine at its next pass.
class FakeDrive {
public:
    struct Item {
        qint64 id = 0;
        bool folder = false;
        qint64 parent = 0;
        QString name;
        QByteArray content;
        QString storageClass = QStringLiteral("standard");
        bool trashed = false;
        bool locked = false;
        qint64 modified = 1700000000;
        qint64 uploaded = 1700000000;
        qint64 stamp = 0;
    };

    qint64 addFolder(const QString &name, qint64 parent = 0);
    qint64 addFile(const QString &name, const QByteArray &content, qint64 parent = 0,
                   const QString &storageClass = QStringLiteral("standard"));
    void rename(qint64 id, const QString &name);
    void move(qint64 id, qint64 parent);
    // New content, with a newer upload date, as another device would send it (the same bytes
    // again included).
    void write(qint64 id, const QByteArray &content);
    void trash(qint64 id); // with everything beneath
    void setLocked(qint64 id, bool locked) { m_items[id].locked = locked; }
    void setStorageClass(qint64 id, const QString &storageClass);

    // The feed answers only from the newest cursor on, as after a long time away. With
    // `fromStart`, the feed from 0 still answers with the whole drive and the newest cursor.
    void forgetFeed(bool fromStart = false)
    {
        m_oldest = m_cursor;
        m_feedFromStart = fromStart;
    }
    // The next `count` requests whose method and path (with its query) contain `fragment`
    // ("PUT /drive/files/12/content") fail with `reply`.
    void failRequests(const QString &fragment, int status, int count = 1,
                      const HttpHeaders &headers = {});
    // The same with any answer: a transport failure, a listing that leaves items out…
    void answerRequests(const QString &fragment, const FakeTransport::Reply &reply,
                        int count = 1);
    // Direct uploads are refused as too large, so that every content goes in parts.
    void refuseDirectUploads(bool refuse) { m_refuseDirect = refuse; }

    FakeTransport::Reply answer(const HttpRequest &request);

    const Item &item(qint64 id) const { return *m_items.constFind(id); }
    // The live item at a path ("Documents/a.txt"), if any.
    std::optional<qint64> find(const QString &path) const;
    // What belongs on a disk: live folders ("" as their content) and files of the standard
    // class, by path.
    QMap<QString, QByteArray> tree() const;
    // Every content a file of the drive ever held, the trash's included.
    bool everHeld(const QByteArray &content) const { return m_history.contains(content); }
    // Requests whose method and path contain `fragment`.
    int requestsFor(const QString &fragment) const;
    void clearRequests() { m_requests.clear(); }
    // Multipart uploads opened and neither completed nor aborted.
    int openUploads() const { return int(m_uploads.size()); }

private:
    struct Upload {
        QString key;
        QMap<int, QByteArray> parts;
    };

    qint64 touch(Item &item);
    QJsonObject itemJson(const Item &item) const;
    QString pathOf(const Item &item) const;
    bool nameTaken(qint64 parent, const QString &name, qint64 except = 0) const;
    bool isLiveFolder(qint64 id) const;
    FakeTransport::Reply answerRead(const HttpRequest &request);
    FakeTransport::Reply answerTreeChange(const HttpRequest &request);
    FakeTransport::Reply answerUpload(const HttpRequest &request);
    // A new file, or new content for `id`, checked against the precondition.
    FakeTransport::Reply store(std::optional<qint64> id, const QString &name, qint64 parent,
                               const QByteArray &content, const QString &ifHash,
                               std::optional<qint64> ifDate);

    QMap<qint64, Item> m_items;
    qint64 m_nextId = 100;
    qint64 m_cursor = 0;
    qint64 m_oldest = 0;
    bool m_feedFromStart = false;
    bool m_refuseDirect = false;
    qint64 m_clockSeconds = 1700000000;
    QList<std::pair<QString, FakeTransport::Reply>> m_failures;
    QStringList m_requests;
    QSet<QByteArray> m_history;
    QMap<QString, Upload> m_uploads;
    int m_uploadCount = 0;
};

// A request's JSON as the client sent it. Qt's reader drops a U+FEFF that opens a string, so it
// is read through its escape, which it keeps.
QJsonDocument parsedJson(QByteArray body);

// Content from the fake drive's storage, written where the engine asks; counts what it served.
class FakeDownloads final : public FileProvider::ContentDownloads {
public:
    explicit FakeDownloads(const FakeDrive &drive)
        : m_drive(drive)
    {}

    QCoro::Task<> download(QUrl url, QString destination, Expected expected, Progress progress,
                           CancellationToken cancel) override;

    int served() const { return m_served; }
    // The next download of this file writes its part and then fails, as a kill mid-way would.
    void failNext(qint64 id) { m_failing.insert(id); }

private:
    const FakeDrive &m_drive;
    int m_served = 0;
    QSet<qint64> m_failing;
};

} // namespace OrvelanNimbal::Testing
