// SPDX-License-Identifier: GPL-3.0-or-later
// The model's state, its construction, and sign-in, the second factor and sign-out.
#include "model/AppModel.h"

#include "async/Wakeup.h"
#include "auth/SignInMessages.h"
#include "config/OrvelanNimbal.h"
#include "config/PlatformWords.h"
#include "errors/DriveError.h"
#include "model/Guarded.h"
#include "system/Logging.h"

namespace OrvelanNimbal {

namespace {

// Every failure the model shows carries its French description as what(): the client's, the
// keychain's, a local file's, the file-provider system's.
QString describe(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

AppModel::AppModel(AppEnvironment environment, QObject *parent)
    : PanelModel(parent)
    , m_environment(std::move(environment))
    , m_api(m_environment.client)
    , m_updater(new Updater(m_environment.client, m_environment.updates,
                            m_environment.updateDesktop, this))
    , m_domains(m_environment.fileProvider, m_environment.client->clock())
{
    setLastEmail(m_environment.preferences->lastEmail());
    // Deferred to the event loop, so that whoever built the model sees every change it makes.
    ++m_runningOperations;
    QMetaObject::invokeMethod(
        this, [this] { settle(restore(), this); }, Qt::QueuedConnection);
}

AppModel::~AppModel()
{
    m_lifetime.cancel();
    if (m_wakeObserver)
        disconnect(m_wakeObserver);
}

// --- Operations started by the model ---

void AppModel::start(QCoro::Task<> operation)
{
    ++m_runningOperations;
    settle(std::move(operation), this);
}

QCoro::Task<> AppModel::settle(QCoro::Task<> operation, QPointer<AppModel> model)
{
    try {
        co_await std::move(operation);
    } catch (const OperationCancelled &) {
        // The model went away, or the work was called off: nothing to report.
    } catch (const std::exception &error) {
        qCCritical(lcApp, "Opération interrompue : %s", error.what());
    }
    if (model && --model->m_runningOperations == 0) {
        for (const auto &waiter : std::exchange(model->m_idleWaiters, {}))
            waiter->fire();
    }
}

QCoro::Task<> AppModel::whenIdle()
{
    while (m_runningOperations > 0) {
        const auto idle = std::make_shared<Wakeup>();
        m_idleWaiters.append(idle);
        co_await idle->wait();
    }
}

// --- Restore, sign-in, second factor ---

QCoro::Task<> AppModel::restore()
{
    if (m_hasRestored)
        co_return;
    m_hasRestored = true;
    const CancellationToken cancel = m_lifetime.token();

    bool restored = false;
    try {
        restored = co_await unlessCancelled(m_environment.client->restoreSession(), cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        restoreFailed(error);
        co_return;
    }
    const std::optional<QString> account =
        restored ? m_environment.client->account() : std::nullopt;
    if (!account) {
        setStatus(AppStatus::signedOut());
        co_return;
    }
    setAccount(account);

    if (!co_await m_domains.isMounted(*account, cancel)) {
        try {
            co_await m_domains.mount(*account, cancel);
        } catch (const OperationCancelled &) {
            throw;
        } catch (const std::exception &error) {
            restoreFailed(error);
            co_return;
        }
    }
    co_await becomeReady(*account, cancel);
}

void AppModel::restoreFailed(const std::exception &error)
{
    qCWarning(lcApp, "Reprise de session impossible : %s", error.what());
    setStatus(AppStatus::failed(describe(error)));
}

void AppModel::signIn(const QString &email, const QString &password)
{
    start(signingIn(email, password));
}

QCoro::Task<> AppModel::signingIn(QString email, QString password)
{
    const CancellationToken cancel = m_lifetime.token();
    setLastEmail(email);
    m_environment.preferences->setLastEmail(email);
    setStatus(AppStatus::connecting());

    std::optional<LoginOutcome> outcome;
    try {
        outcome =
            co_await unlessCancelled(m_environment.client->login(email, password, cancel), cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        setStatus(AppStatus::failed(describe(error)));
        co_return;
    }
    if (const DriveSession *session = outcome->session()) {
        co_await activate(session->account, cancel);
    } else if (const TwoFactorChallenge *challenge = outcome->challenge();
               challenge->acceptsAnyCode()) {
        setTwoFactorError(std::nullopt);
        setStatus(AppStatus::twoFactor(*challenge));
    } else {
        setStatus(AppStatus::failed(SignInMessages::passkeyOnly));
    }
}

void AppModel::submitCode(const ChallengeInfo &challenge, bool useRecovery, const QString &code,
                          bool rememberDevice)
{
    start(verifying(challenge.challenge(), useRecovery, code, rememberDevice));
}

QCoro::Task<> AppModel::verifying(TwoFactorChallenge challenge, bool useRecovery, QString code,
                                  bool rememberDevice)
{
    if (m_isVerifying)
        co_return;
    const CancellationToken cancel = m_lifetime.token();
    setIsVerifying(true);
    setTwoFactorError(std::nullopt);
    const QString deviceLabel = m_environment.computerName().value_or(PlatformWords::deviceLabel);

    std::optional<DriveSession> session;
    try {
        session = co_await unlessCancelled(
            m_environment.client->verifyTwoFactor(
                challenge, useRecovery ? TwoFactorMethod::recovery : TwoFactorMethod::totp, code,
                rememberDevice, deviceLabel, cancel),
            cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const DriveError &error) {
        // An expired challenge is gone with its state: back to the password.
        if (error.kind() == DriveError::Kind::twoFactorExpired)
            setStatus(AppStatus::failed(SignInMessages::verificationExpired));
        else
            setTwoFactorError(error.errorDescription());
    } catch (const std::exception &error) {
        setTwoFactorError(describe(error));
    }
    if (session)
        co_await activate(session->account, cancel);
    setIsVerifying(false);
}

void AppModel::cancelTwoFactor()
{
    setTwoFactorError(std::nullopt);
    setStatus(AppStatus::signedOut());
}

QCoro::Task<> AppModel::activate(QString account, CancellationToken cancel)
{
    setAccount(account);
    try {
        co_await m_domains.mount(account, cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        setStatus(AppStatus::failed(describe(error)));
        co_return;
    }
    co_await becomeReady(account, cancel);
}

QCoro::Task<> AppModel::becomeReady(QString account, CancellationToken cancel)
{
    setStatus(AppStatus::ready());
    applyLaunchAtLoginDefault();
    co_await refreshQuota(cancel);
    startLive(account);
}

// --- Sign-out ---

void AppModel::signOut()
{
    start(signingOut());
}

QCoro::Task<> AppModel::signingOut()
{
    const CancellationToken cancel = m_lifetime.token();
    stopLive();
    if (const std::optional<QString> account = m_account) {
        try {
            co_await m_domains.unmount(*account, cancel);
        } catch (const OperationCancelled &) {
            throw;
        } catch (const std::exception &) {
            // The session ends all the same; a domain left behind is removed by the next mount.
        }
        removeLocalState(*account);
    }
    try {
        co_await unlessCancelled(m_environment.client->logout(), cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &) {
        // Signing out never fails: the held session is gone, whatever the keychain said.
    }
    setAccount(std::nullopt);
    setQuota(std::nullopt);
    setSummary(std::nullopt);
    setStatus(AppStatus::signedOut());
}

} // namespace OrvelanNimbal
