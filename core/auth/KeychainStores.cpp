// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/KeychainStores.h"

#include "async/Wakeup.h"
#include "auth/KeychainError.h"

#include <QStringDecoder>
#include <qt6keychain/keychain.h>

namespace OrvelanNimbal {

namespace {

const QString sessionKey = QStringLiteral("current");

// Starts the job and waits for it to finish; the job stays owned by the caller, which awaits
// this at once, so the reference outlives every suspension.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters)
QCoro::Task<> run(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    Wakeup finished;
    QObject::connect(&job, &QKeychain::Job::finished, &job, [&finished] { finished.fire(); });
    job.start();
    co_await finished.wait();
}

KeychainError errorOf(const QKeychain::Job &job)
{
    return KeychainError(qint32(job.error()), job.errorString());
}

} // namespace

KeychainSessionStore::KeychainSessionStore(QString service, QString accessGroup)
    : m_service(std::move(service))
    , m_accessGroup(std::move(accessGroup))
{}

QCoro::Task<std::optional<DriveSession>> KeychainSessionStore::load()
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(sessionKey);
    co_await run(job);
    if (job.error() == QKeychain::EntryNotFound)
        co_return std::nullopt;
    if (job.error() != QKeychain::NoError)
        throw errorOf(job);
    // A stored session that does not read back fails as a decoding error; the item stays.
    co_return Json::decode<DriveSession>(job.binaryData());
}

QCoro::Task<> KeychainSessionStore::save(DriveSession session)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(sessionKey);
    job.setBinaryData(session.toJson());
    co_await run(job);
    if (job.error() != QKeychain::NoError)
        throw errorOf(job);
}

QCoro::Task<> KeychainSessionStore::clear()
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(sessionKey);
    co_await run(job);
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
        throw errorOf(job);
}

KeychainTrustedDeviceStore::KeychainTrustedDeviceStore(QString service, QString accessGroup)
    : m_service(std::move(service))
    , m_accessGroup(std::move(accessGroup))
{}

QCoro::Task<std::optional<QString>> KeychainTrustedDeviceStore::token(QString account)
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(account.toLower());
    co_await run(job);
    if (job.error() != QKeychain::NoError)
        co_return std::nullopt;
    // Every character, a leading U+FEFF included: the token must come back as it was given.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                     | QStringDecoder::Flag::ConvertInitialBom);
    QString token = decoder.decode(job.binaryData());
    if (decoder.hasError())
        co_return std::nullopt;
    co_return token;
}

QCoro::Task<> KeychainTrustedDeviceStore::save(QString token, QString account)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(account.toLower());
    job.setBinaryData(token.toUtf8());
    co_await run(job); // a failure only means the second factor is asked again next time
}

QCoro::Task<> KeychainTrustedDeviceStore::remove(QString account)
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(account.toLower());
    co_await run(job);
}

} // namespace OrvelanNimbal
