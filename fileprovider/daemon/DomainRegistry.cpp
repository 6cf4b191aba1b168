// SPDX-License-Identifier: GPL-3.0-or-later
#include "daemon/DomainRegistry.h"

#include "Logging.h"
#include "daemon/StateFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvelanNimbal::FileProvider {

DomainRegistry::DomainRegistry(QString file)
    : m_file(std::move(file))
{}

QString DomainRegistry::defaultFile()
{
    return StateFile::inContainer(QStringLiteral("fileprovider.json"));
}

void DomainRegistry::load()
{
    extensionEnabled = true;
    domains.clear();
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        qCWarning(logExtension).noquote()
            << QStringLiteral("État de l'extension illisible (%1) : repris à zéro.")
                   .arg(error.errorString());
        return;
    }
    const QJsonObject root = document.object();
    extensionEnabled = root.value(u"enabled").toBool(true);
    const QJsonArray listed = root.value(u"domains").toArray();
    for (const QJsonValue &value : listed) {
        const QJsonObject domain = value.toObject();
        const QString identifier = domain.value(u"identifier").toString();
        if (identifier.isEmpty() || find(identifier))
            continue;
        domains.append({identifier, domain.value(u"displayName").toString(identifier),
                        domain.value(u"userEnabled").toBool(true)});
    }
}

bool DomainRegistry::save() const
{
    QJsonArray list;
    for (const DomainRecord &domain : domains)
        list.append(QJsonObject{{QStringLiteral("identifier"), domain.identifier},
                                {QStringLiteral("displayName"), domain.displayName},
                                {QStringLiteral("userEnabled"), domain.userEnabled}});
    const QJsonObject root{{QStringLiteral("version"), 1},
                           {QStringLiteral("enabled"), extensionEnabled},
                           {QStringLiteral("domains"), list}};
    return StateFile::save(m_file, root, QStringLiteral("État de l'extension"));
}

DomainRecord *DomainRegistry::find(const QString &identifier)
{
    for (DomainRecord &domain : domains) {
        if (domain.identifier == identifier)
            return &domain;
    }
    return nullptr;
}

} // namespace OrvelanNimbal::FileProvider
