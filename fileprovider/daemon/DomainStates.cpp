// SPDX-License-Identifier: GPL-3.0-or-later
#include "daemon/DomainStates.h"

#include "daemon/StateFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvelanNimbal::FileProvider {

DomainStates::DomainStates(QString file)
    : m_file(std::move(file))
{}

QString DomainStates::defaultFile()
{
    return StateFile::inContainer(QStringLiteral("domain-states.json"));
}

void DomainStates::load()
{
    m_states.clear();
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject domains = document.object().value(u"domains").toObject();
    for (auto domain = domains.begin(); domain != domains.end(); ++domain) {
        const QJsonObject saved = domain.value().toObject();
        m_states.insert(domain.key(),
                        {saved.value(u"paused").toBool(), saved.value(u"pausedUntil").toInteger(),
                         saved.value(u"lastSync").toInteger()});
    }
}

bool DomainStates::save() const
{
    QJsonObject domains;
    for (auto state = m_states.cbegin(); state != m_states.cend(); ++state)
        domains.insert(state.key(), QJsonObject{{QStringLiteral("paused"), state->paused},
                                                {QStringLiteral("pausedUntil"), state->pausedUntil},
                                                {QStringLiteral("lastSync"), state->lastSync}});
    const QJsonObject root{{QStringLiteral("version"), 1}, {QStringLiteral("domains"), domains}};
    return StateFile::save(m_file, root, QStringLiteral("État des dossiers"));
}

bool DomainStates::isPaused(const QString &identifier, qint64 now) const
{
    const State state = m_states.value(identifier);
    return state.paused && (state.pausedUntil == 0 || state.pausedUntil > now);
}

void DomainStates::pause(const QString &identifier, qint64 until)
{
    State &state = m_states[identifier];
    state.paused = true;
    state.pausedUntil = until;
}

void DomainStates::resume(const QString &identifier)
{
    if (const auto state = m_states.find(identifier); state != m_states.end()) {
        state->paused = false;
        state->pausedUntil = 0;
    }
}

void DomainStates::synchronised(const QString &identifier, qint64 at)
{
    m_states[identifier].lastSync = at;
}

void DomainStates::forget(const QString &identifier)
{
    m_states.remove(identifier);
}

QStringList DomainStates::expire(qint64 now)
{
    QStringList ended;
    for (auto state = m_states.begin(); state != m_states.end(); ++state) {
        if (state->paused && state->pausedUntil != 0 && state->pausedUntil <= now) {
            state->paused = false;
            state->pausedUntil = 0;
            ended.append(state.key());
        }
    }
    return ended;
}

std::optional<qint64> DomainStates::nextEnd() const
{
    std::optional<qint64> nearest;
    for (const State &state : m_states) {
        if (state.paused && state.pausedUntil != 0)
            nearest = std::min(nearest.value_or(state.pausedUntil), state.pausedUntil);
    }
    return nearest;
}

} // namespace OrvelanNimbal::FileProvider
