// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop must allow: starting with the session, and the extension and the account's
// folder, which the user may have switched off.
#include "model/AppModel.h"
#include "model/Guarded.h"
#include "system/Logging.h"

namespace OrvelanNimbal {

namespace {

// Without a missing approval the check runs on ticks 1, 16, 31…; with one, on every tick, so
// that the card goes within a tick of the user's approval.
constexpr qint64 approvalCheckTicks = 15;

const char *domainWord(std::optional<bool> enabled)
{
    return !enabled ? "inconnu" : *enabled ? "actif" : "désactivé";
}

const char *extensionWord(std::optional<bool> enabled)
{
    return !enabled ? "inconnue" : *enabled ? "active" : "désactivée";
}

} // namespace

// --- Launch at login ---

void AppModel::applyLaunchAtLoginDefault()
{
    Preferences &preferences = *m_environment.preferences;
    if (!preferences.launchAtLoginChosen()) {
        // Recorded before the attempt: a first registration that fails is not retried at each
        // launch; the switch remains the user's.
        preferences.setLaunchAtLoginChosen(true);
        if (const std::optional<QString> error = m_environment.loginItem->registerItem())
            qCWarning(lcApp, "Ouverture à l'ouverture de session impossible : %s",
                      qUtf8Printable(*error));
        else
            qCInfo(lcApp, "Ouverture à l'ouverture de session activée.");
    }
    refreshLaunchAtLogin();
}

void AppModel::setLaunchAtLogin(bool enabled)
{
    m_environment.preferences->setLaunchAtLoginChosen(true);
    LoginItem &item = *m_environment.loginItem;
    if (const std::optional<QString> error = enabled ? item.registerItem() : item.unregisterItem())
        qCWarning(lcApp, "Réglage de l'ouverture automatique impossible : %s",
                  qUtf8Printable(*error));
    refreshLaunchAtLogin(); // the switch shows what the system holds, also after a failure
}

void AppModel::refreshLaunchAtLogin()
{
    const LoginItem::Status status = m_environment.loginItem->status();
    setLaunchAtLoginFlags(status == LoginItem::Status::enabled
                              || status == LoginItem::Status::requiresApproval,
                          status == LoginItem::Status::requiresApproval);
}

void AppModel::openSettings()
{
    m_environment.desktop->openLoginItemSettings();
}

// --- The extension and the account's folder ---

QCoro::Task<> AppModel::checkApprovals(QString account, CancellationToken cancel)
{
    ++m_extensionChecks;
    if (!m_extensionNeedsApproval && m_extensionChecks % approvalCheckTicks != 1)
        co_return;
    const std::optional<bool> domain = co_await m_domains.isUserEnabled(account, cancel);
    const std::optional<bool> extension =
        co_await unlessCancelled(m_environment.extensionTool->extensionEnabled(cancel), cancel);
    if (m_extensionChecks == 1)
        qCInfo(lcApp, "Autorisations : domaine %s, extension %s", domainWord(domain),
               extensionWord(extension));

    // Only a switch known to be off asks for the user; unknown counts as fine.
    const bool needed = domain == false || extension == false;
    if (needed == m_extensionNeedsApproval)
        co_return;
    setExtensionNeedsApproval(needed);
    if (needed) {
        qCInfo(lcApp, "Autorisation attendue dans les Réglages (domaine %s, extension %s).",
               domain == false ? "désactivé" : "actif", extension == false ? "coupée" : "active");
    } else {
        qCInfo(lcApp, "Autorisations données : relecture du Nimbal.");
        scheduleSignal(); // the system may read the drive now
    }
}

void AppModel::reactivate()
{
    start(reactivating());
}

QCoro::Task<> AppModel::reactivating()
{
    const CancellationToken cancel = m_lifetime.token();
    const std::optional<QString> account = m_account;
    if (const std::optional<QString> error =
            co_await unlessCancelled(m_environment.extensionTool->enable(cancel), cancel))
        qCWarning(lcApp, "Réactivation du service impossible : %s", qUtf8Printable(*error));
    if (!account)
        co_return;
    try {
        co_await m_domains.setUserEnabled(*account, true, cancel);
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        qCWarning(lcApp, "Réactivation du dossier impossible : %s", error.what());
    }
    // The next activity tick sees both switches on, hides the card and signals.
}

} // namespace OrvelanNimbal
