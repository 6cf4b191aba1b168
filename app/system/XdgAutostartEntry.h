// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "system/LoginItem.h"

#include <QStringList>

namespace OrvelanNimbal {

// Launch at login on a freedesktop session: the entry "net.orvelan.nimbal.desktop" in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart), which every desktop's session manager
// reads at login. Nothing on such a desktop asks for approval, so requiresApproval never comes
// from here; an entry the desktop's own settings switched off reads as not registered, one that
// starts another program as not found.
class XdgAutostartEntry final : public LoginItem {
public:
    static inline const QString fileName = QStringLiteral("net.orvelan.nimbal.desktop");

    // `program` is the application's executable, as the entry will start it. `installedEntry`
    // is the desktop entry installed with it, copied as it is when it starts that program (its
    // names, icon and translations with it); without one, the entry is written here.
    XdgAutostartEntry(QString autostartFolder, QString program, QString installedEntry = {});
    // The user's autostart folder.
    static QString userFolder();
    // Where an installation puts the entry of `program`: share/applications beside its bin.
    static QString installedEntryOf(const QString &program);

    QString filePath() const;

    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    // The entry's text for `program`, or nothing when no entry can start it (a line break in
    // its path).
    static std::optional<QByteArray> entryText(const QString &program);
    // `argument` as one argument of an Exec line: quoted when it holds a character the line
    // reserves, field codes ("%") doubled, and escaped for a string value.
    static QString execArgument(const QString &argument);

private:
    // The text registerItem() writes.
    std::optional<QByteArray> text() const;

    QString m_folder;
    QString m_program;
    QString m_installedEntry;
};

} // namespace OrvelanNimbal
