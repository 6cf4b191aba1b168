// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Preferences.h"

namespace OrvelanNimbal {

namespace {

const QString lastEmailKey = QStringLiteral("lastEmail");
const QString launchAtLoginChosenKey = QStringLiteral("launchAtLoginChosen");
const QString conflictDismissedUntilKey = QStringLiteral("conflictDismissedUntil");

} // namespace

Preferences::Preferences(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

std::shared_ptr<Preferences> Preferences::forUser()
{
    return std::make_shared<Preferences>(std::make_unique<QSettings>(
        QStringLiteral("net.orvelan.nimbal"), QStringLiteral("nimbal")));
}

QString Preferences::lastEmail() const
{
    // The file keeps text for every value: a list (written by hand) is the one other type.
    const QVariant value = m_settings->value(lastEmailKey);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

void Preferences::setLastEmail(const QString &email)
{
    m_settings->setValue(lastEmailKey, email);
}

bool Preferences::launchAtLoginChosen() const
{
    return m_settings->value(launchAtLoginChosenKey).toString() == u"true";
}

void Preferences::setLaunchAtLoginChosen(bool chosen)
{
    m_settings->setValue(launchAtLoginChosenKey, chosen);
}

double Preferences::conflictDismissedUntil() const
{
    bool ok = false;
    const double seconds = m_settings->value(conflictDismissedUntilKey).toString().toDouble(&ok);
    return ok ? seconds : 0.0;
}

void Preferences::setConflictDismissedUntil(double seconds)
{
    m_settings->setValue(conflictDismissedUntilKey, seconds);
}

} // namespace OrvelanNimbal
