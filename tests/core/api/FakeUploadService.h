// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AsyncTest.h"
#include "FakeTransport.h"
#include "ManualClock.h"
#include "api/DriveAPI.h"
#include "errors/FileError.h"

#include <QHash>
#include <QJsonObject>
#include <QStringList>

#include <optional>

namespace OrvelanNimbal::Testing {

// The drive service and its storage as the upload code meets them, scripted on a FakeTransport.
// Every step answers as a healthy service would until a test replaces its route; every request
// is recorded under the name of its step, so a test reads the whole exchange as a list such as
// {"open", "presign", "part", "abort"}.
//
// Steps: directCreate, directReplace, open, presign, part, finishCreate, finishReplace, abort,
// grant.
class FakeUploadService {
public:
    using Reply = FakeTransport::Reply;
    using Route = std::function<Reply(const HttpRequest &)>;

    static inline const QString storageHost = QStringLiteral("storage.test");
    static inline const QString uploadID = QStringLiteral("U1");
    static inline const QString storageKey = QStringLiteral("k/multi");

    FakeUploadService();
    FakeUploadService(const FakeUploadService &) = delete;
    FakeUploadService &operator=(const FakeUploadService &) = delete;

    DriveAPI api() const { return DriveAPI(client); }

    // The step names of the requests sent so far, in order.
    QStringList steps() const;
    QList<HttpRequest> requests(const QString &step) const;
    // The byte bodies of the part PUTs, in order.
    QList<QByteArray> partBodies() const;

    static QJsonObject json(const HttpRequest &request);
    // The boundary announced by a multipart request's Content-Type.
    static QByteArray boundary(const HttpRequest &request);
    // The abort body every abandoned upload of this service must send.
    static QJsonObject abortBody();

    QHash<QString, Route> routes;
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;

private:
    Reply answer(const HttpRequest &request) const;
};

QString stepOf(const HttpRequest &request);

// How an operation ended, for tables of failures.
struct Ending {
    enum Kind { succeeded, driveError, cancelled, fileError };
    Kind kind = succeeded;
    std::optional<DriveError> error;
};

template <class T>
Ending endingOf(QCoro::Task<T> task) {
    try {
        runAsync(std::move(task));
        return {};
    } catch (const DriveError &error) {
        return {Ending::driveError, error};
    } catch (const OperationCancelled &) {
        return {Ending::cancelled, {}};
    } catch (const FileError &) {
        return {Ending::fileError, {}};
    }
}

// A file whose bytes differ from part to part, so a part sent twice or out of order shows.
QByteArray patternBytes(qint64 size);

} // namespace OrvelanNimbal::Testing
