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
        const auto answer = answers.constFind(request.url.path().mid(qsizetype(strlen("/api/v1"))));
        return answer != answers.cend() ? (*answer)() : FakeTransport::Reply::withStatus(404);
    });
}

ModelHarness::~ModelHarness()
{
    model.reset();
    settle();
}

AppEnvironment ModelHarness::environment()
{
    return {service.client,
            QUrl(QStringLiteral("https://push.test")),
            live.function(),
            system,
            preferences,
            loginItem,
            std::make_shared<ExtensionTool>(extensionProgram),
            wake,
            [this] { return computerName; },
            desktop,
            quietUpdates(),
            {}};
}

UpdateConfiguration ModelHarness::quietUpdates() const
{
    // The model's own tests advance the clock by minutes: the updater stays out of their way.
    UpdateConfiguration updates;
    updates.feedURL = QUrl(QStringLiteral("https://updates.test/appcast.xml"));
    updates.currentVersion = QStringLiteral("1.0.0");
    updates.downloadFolder = QDir(folder.path()).filePath(QStringLiteral("updates"));
    updates.firstCheckDelay = std::chrono::hours(24 * 365);
    updates.checkInterval = updates.firstCheckDelay;
    return updates;
}

AppModel &ModelHarness::start()
{
    model = std::make_unique<AppModel>(environment());
    runAsync(model->whenIdle());
    return *model;
}

void ModelHarness::storeSession()
{
    runAsync(service.sessions->save({account, QStringLiteral("jeton"), QStringLiteral("mdp")}));
}

void ModelHarness::signedInAndLive()
{
    storeSession();
    start();
    // The live task's three waits (signal debounce, safety signal, activity tick), and the
    // updater's first check.
    waitUntil([this] { return ticks() == 1 && clock().waitingSleeps() == 3 + 1; });
    clock().advance(500ms);
    waitUntil([this] { return system->signalCount() == 1; });
    settle();
}

AppModel &ModelHarness::twoFactorPending()
{
    answers.insert(QStringLiteral("/auth/login-jmap"), [] {
        return challenge({QStringLiteral("totp"), QStringLiteral("recovery")});
    });
    start().signIn(account, QStringLiteral("mot de passe"));
    runAsync(model->whenIdle());
    return *model;
}

void ModelHarness::setExtensionStatus(const QByteArray &output)
{
    const QDir dir(folder.path());
    extensionProgram = dir.filePath(QStringLiteral("nimbal-fileprovider"));
    QFile script(extensionProgram);
    if (!script.open(QIODevice::WriteOnly))
        qFatal("cannot write the extension's stand-in");
    script.write("#!/bin/sh\necho \"$@\" >> '" + dir.filePath(QStringLiteral("runs")).toUtf8()
                 + "'\nprintf '%s' '" + output + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QList<QByteArray> ModelHarness::extensionRuns() const
{
    QFile runs(QDir(folder.path()).filePath(QStringLiteral("runs")));
    if (!runs.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = runs.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
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

void ModelHarness::nextTick()
{
    const int before = ticks();
    clock().advance(2s);
    waitUntil([&] { return ticks() == before + 1; });
}

FakeTransport::Reply ModelHarness::session()
{
    return FakeTransport::Reply::ok(
        QStringLiteral(R"({"access_token":"jeton","email":"%1"})").arg(account).toUtf8());
}

FakeTransport::Reply ModelHarness::challenge(const QStringList &methods)
{
    return FakeTransport::Reply::ok(
        QStringLiteral(R"({"two_factor_required":true,"pending_token":"attente","methods":["%1"],)"
                       R"("expires_in":300,"email":"%2"})")
            .arg(methods.join(QStringLiteral("\",\"")), account)
            .toUtf8());
}

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
