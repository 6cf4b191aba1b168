// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DriveAPIHarness.h"

#include <QHash>
#include <QTemporaryDir>

namespace OrvelanNimbal::Testing {

// Bytes that differ from part to part and from one seed to another, so that a part sent twice,
// skipped or put in the wrong place changes the content.
QByteArray generatedContent(qint64 size, quint32 seed = 1);

// The drive service and its storage as the upload code meets them, scripted on a FakeTransport.
// Every step answers as a healthy service would until a test replaces its route; every request
// is recorded under the name of its step, so a test reads the whole exchange as a line such as
// "open presign part abort".
//
// Steps: directCreate, directReplace, open, presign, part, finishCreate, finishReplace, abort,
// grant.
class FakeUploadService : public DriveAPIHarness {
public:
    using Reply = FakeTransport::Reply;
    using Route = std::function<Reply(const HttpRequest &)>;

    FakeUploadService();

    // A local file of these bytes, announced as `declaredSize` bytes (its own size by default),
    // with the hash "localhash" and the type text/plain.
    DriveAPI::LocalContent localFile(const QByteArray &bytes, qint64 declaredSize = -1);

    // The step names of the requests sent so far, in order, separated by spaces.
    QString steps() const;
    QList<HttpRequest> requests(const QString &step) const;

    QHash<QString, Route> routes;

private:
    QTemporaryDir m_folder;
    int m_files = 0;
};

} // namespace OrvelanNimbal::Testing
