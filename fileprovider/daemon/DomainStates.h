// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace OrvelanNimbal::FileProvider {

// What the extension keeps of each domain's pause and of its last complete synchronisation,
// across restarts, in the shared container (`domain-states.json`), so that a pause with an end
// ends on time after a restart too, and a pause without one outlives any restart:
//
//   {"version":1,"domains":{"<identifier>":{"paused":true,"pausedUntil":1767225600,"lastSync":…}}}
//
// Times are seconds since 1970; "pausedUntil" 0 is a pause until the user resumes.
class DomainStates {
public:
    struct State {
        bool paused = false;
        qint64 pausedUntil = 0; // 0: until resumed
        qint64 lastSync = 0;    // 0: never

        friend bool operator==(const State &, const State &) = default;
    };

    explicit DomainStates(QString file);
    // The file in the shared container; empty when there is no container.
    static QString defaultFile();

    // A missing or damaged file reads as no pause and no synchronisation yet.
    void load();
    // Replaces the file atomically, readable by the user only. False (and logged) on failure.
    bool save() const;

    State state(const QString &identifier) const { return m_states.value(identifier); }
    // Paused at `now`: a pause whose end has come is over, even before expire() notes it.
    bool isPaused(const QString &identifier, qint64 now) const;
    void pause(const QString &identifier, qint64 until);
    void resume(const QString &identifier);
    void synchronised(const QString &identifier, qint64 at);
    void forget(const QString &identifier);

    // Ends the pauses whose end has come; gives their domains.
    QStringList expire(qint64 now);
    // The nearest end of a pause that has one.
    std::optional<qint64> nextEnd() const;

private:
    QString m_file;
    QHash<QString, State> m_states;
};

} // namespace OrvelanNimbal::FileProvider
