// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::FileProvider {

// A refusal of the extension, as a D-Bus error: a name the caller may match, and a French
// message it may show or log as it is.
struct ExtensionError {
    QString name;
    QString message;

    static inline const QString prefix = QStringLiteral("net.orvelan.nimbal.FileProvider1.Error.");

    static ExtensionError noSuchDomain()
    {
        return {prefix + u"NoSuchDomain"_qs,
                QStringLiteral("Ce compte n'a pas de dossier Nimbal.")};
    }
    static ExtensionError invalidIdentifier()
    {
        return {prefix + u"InvalidIdentifier"_qs,
                QStringLiteral("Ce nom de compte ne peut pas nommer un dossier.")};
    }
    static ExtensionError invalidArgument(const QString &what)
    {
        return {prefix + u"InvalidArgument"_qs, what};
    }
    static ExtensionError extensionDisabled()
    {
        return {prefix + u"ExtensionDisabled"_qs,
                QStringLiteral("Le service de synchronisation est désactivé "
                               "(nimbal-fileprovider enable le réactive).")};
    }
    static ExtensionError domainDisabled()
    {
        return {prefix + u"DomainDisabled"_qs,
                QStringLiteral("Le dossier de ce compte est désactivé.")};
    }
    static ExtensionError folderUnavailable(const QString &message)
    {
        return {prefix + u"FolderUnavailable"_qs, message};
    }
    static ExtensionError noSession()
    {
        return {prefix + u"NoSession"_qs,
                QStringLiteral("Aucune session de ce compte dans le trousseau : reconnectez-vous "
                               "depuis Orvelan Nimbal.")};
    }
    static ExtensionError paused()
    {
        return {prefix + u"Paused"_qs,
                QStringLiteral("La synchronisation est en pause : rien n'est envoyé ni reçu avant "
                               "sa reprise (nimbal resume).")};
    }
    static ExtensionError failed(const QString &message)
    {
        return {prefix + u"Failed"_qs, message};
    }
};

} // namespace OrvelanNimbal::FileProvider
