// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeTransport.h"
#include "transfer/ContentDownloads.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

#include <optional>

namespace OrvelanNimbal::Testing {

// A drive in memory that answers the client's listing, change-feed and download-grant requests
// as the service does (every change stamped with the next cursor, the feed from a cursor, 410 for
// a cursor it forgot), and hands out content for its own storage addresses. Changes made here
// are seen by the engine at its next pass.
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
        qint64 modified = 1700000000;
        qint64 uploaded = 1700000000;
        qint64 stamp = 0;
    };

    qint64 addFolder(const QString &name, qint64 parent = 0);
    qint64 addFile(const QString &name, const QByteArray &content, qint64 parent = 0,
                   const QString &storageClass = QStringLiteral("standard"));
    void rename(qint64 id, const QString &name);
    void move(qint64 id, qint64 parent);
    void write(qint64 id, const QByteArray &content);
    void trash(qint64 id); // with everything beneath
    // The feed answers only from the newest cursor on, as after a long time away.
    void forgetFeed() { m_oldest = m_cursor; }
    // The next `count` requests whose path contains `fragment` fail with `status`.
    void failRequests(const QString &fragment, int status, int count = 1);

    FakeTransport::Reply answer(const HttpRequest &request);
    const Item &item(qint64 id) const { return *m_items.constFind(id); }
    int requestsFor(const QString &fragment) const;

private:
    qint64 touch(Item &item);
    QByteArray itemJson(const Item &item) const;

    QMap<qint64, Item> m_items;
    qint64 m_nextId = 100;
    qint64 m_cursor = 0;
    qint64 m_oldest = 0;
    QList<std::pair<QString, int>> m_failures;
    QList<QString> m_paths;
};

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
