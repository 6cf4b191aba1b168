// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModelHarness.h"

#include <QDir>
#include <QFile>
#include <QMetaEnum>

namespace OrvelanNimbal::Testing {

using namespace std::chrono_literals;

ModelHarness::ModelHarness()
    : preferences(std::make_shared<Preferences>(std::make_unique<QSettings>(
        QDir(folder.path()).filePath(QStringLiteral("preferences.conf")), QSettings::IniFormat)))
{
    clock().setAutomatic(false);
    answers.insert(QStringLiteral("/drive/quota"), [] {
        return FakeTransport::Reply::ok(R"({"quota_used":512,"quota_max":10240})");
    });
    service.transport->setHandler([this](const HttpRequest &request) {
        const QString path = request.url.path().mid(qsizetype(strlen("/api/v1")));
        if (const auto answer = answers.constFind(path); answer != answers.cend())
            return (*answer)();
        return FakeTransport::Reply::withStatus(404);
    });
}

ModelHarness::~ModelHarness()
{
    model.reset();
    settle();
}

AppModel &ModelHarness::start()
{
    AppEnvironment environment{
        service.client,
        QUrl(QStringLiteral("https://push.test")),
        live.function(),
        system,
        preferences,
        loginItem,
        std::make_shared<ExtensionTool>(extensionProgram),
        wake,
        [this] { return computerName; },
        desktop,
    };
    model = std::make_unique<AppModel>(std::move(environment));
    runAsync(model->whenIdle());
    return *model;
}

void ModelHarness::storeSession()
{
    runAsync(
        service.sessions->save({account, QStringLiteral("jeton"), QStringLiteral("mot de passe")}));
}

void ModelHarness::setExtensionStatus(const QByteArray &output)
{
    const QDir dir(folder.path());
    QFile answer(dir.filePath(QStringLiteral("status.out")));
    QVERIFY(answer.open(QIODevice::WriteOnly));
    answer.write(output);
    answer.close();
    extensionProgram = dir.filePath(QStringLiteral("nimbal-fileprovider"));
    QFile script(extensionProgram);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" >> '" + dir.filePath(QStringLiteral("runs")).toUtf8()
                 + "'\ncat '" + answer.fileName().toUtf8() + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

int ModelHarness::extensionRuns() const
{
    QFile runs(QDir(folder.path()).filePath(QStringLiteral("runs")));
    return runs.open(QIODevice::ReadOnly) ? int(runs.readAll().count('\n')) : 0;
}

qsizetype ModelHarness::requestCount(const QString &path) const
{
    const QList<HttpRequest> &requests = service.transport->requests();
    return std::count_if(requests.begin(), requests.end(), [&](const HttpRequest &request) {
        return request.url.path().endsWith(path);
    });
}

int ModelHarness::ticks() const
{
    return int(service.clock->sleeps().count(2s));
}

void ModelHarness::signedInAndLive()
{
    storeSession();
    start();
    waitUntil([this] { return ticks() == 1 && clock().waitingSleeps() == 3; });
    clock().advance(500ms);
    waitUntil([this] { return system->signalCount() == 1; });
    settle();
}

void ModelHarness::nextTick()
{
    const int before = ticks();
    clock().advance(2s);
    waitUntil([&] { return ticks() == before + 1; });
}

FakeTransport::Reply ModelHarness::session(const QString &email)
{
    return FakeTransport::Reply::ok(
        QStringLiteral(R"({"access_token":"jeton","email":"%1"})").arg(email).toUtf8());
}

FakeTransport::Reply ModelHarness::challenge(const QStringList &methods)
{
    return FakeTransport::Reply::ok(
        QStringLiteral(R"({"two_factor_required":true,"pending_token":"attente","methods":["%1"],)"
                       R"("expires_in":300,"email":"%2"})")
            .arg(methods.join(QStringLiteral("\",\"")), account)
            .toUtf8());
}

} // namespace OrvelanNimbal::Testing

namespace OrvelanNimbal::Testing {

QString describe(const AppStatus &status)
{
    QString text =
        QString::fromLatin1(QMetaEnum::fromType<AppStatus::Kind>().valueToKey(int(status.kind())));
    if (status.kind() == AppStatus::Kind::Failed)
        text += u'(' + status.message() + u')';
    else if (status.challenge())
        text += u'(' + status.challenge()->account + u')';
    return text;
}

} // namespace OrvelanNimbal::Testing
