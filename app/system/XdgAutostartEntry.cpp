// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/XdgAutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>

namespace OrvelanNimbal {

namespace {

constexpr QStringView reservedCharacters = u" \t\n\"'\\><~|&;$*?#()`";
constexpr QStringView escapedInQuotes = u"\"`$\\";

// The keys of the entry's main group, as written.
QHash<QString, QString> mainGroup(const QByteArray &text)
{
    QHash<QString, QString> keys;
    bool inMainGroup = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || line.startsWith(u'#') || equals < 1)
            continue;
        keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return keys;
}

} // namespace

XdgAutostartEntry::XdgAutostartEntry(QString autostartFolder, QString program,
                                     QString installedEntry)
    : m_folder(std::move(autostartFolder))
    , m_program(std::move(program))
    , m_installedEntry(std::move(installedEntry))
{}

QString XdgAutostartEntry::installedEntryOf(const QString &program)
{
    return QDir::cleanPath(QFileInfo(program).absolutePath()
                           + QStringLiteral("/../share/applications/") + fileName);
}

QString XdgAutostartEntry::userFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart"));
}

QString XdgAutostartEntry::filePath() const
{
    return QDir(m_folder).filePath(fileName);
}

QString XdgAutostartEntry::execArgument(const QString &argument)
{
    const bool quoted = std::any_of(argument.begin(), argument.end(),
                                    [](QChar c) { return reservedCharacters.contains(c); });
    QString line;
    if (quoted)
        line += u'"';
    for (const QChar c : argument) {
        if (c == u'%')
            line += u'%';
        else if (quoted && escapedInQuotes.contains(c))
            line += u'\\';
        line += c;
    }
    if (quoted)
        line += u'"';
    // The value is also a string of the key file, whose own escape comes first when read.
    return line.replace(u'\\', QStringLiteral("\\\\"));
}

std::optional<QByteArray> XdgAutostartEntry::entryText(const QString &program)
{
    if (program.contains(u'\n') || program.contains(u'\r'))
        return std::nullopt;
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Orvelan Nimbal\n"
                             "Exec=")
           + execArgument(program).toUtf8()
           + QByteArrayLiteral("\n"
                               "Terminal=false\n"
                               "X-GNOME-Autostart-enabled=true\n");
}

LoginItem::Status XdgAutostartEntry::status() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return Status::notRegistered;
    const QHash<QString, QString> keys = mainGroup(file.readAll());
    // The desktop's own settings switch an entry off by one of these rather than removing it.
    if (keys.value(QStringLiteral("Hidden")) == u"true"
        || keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == u"false")
        return Status::notRegistered;
    if (keys.value(QStringLiteral("Exec")) != execArgument(m_program))
        return Status::notFound;
    return Status::enabled;
}

std::optional<QByteArray> XdgAutostartEntry::text() const
{
    // The installed entry is copied only when it starts this very program: an entry left by
    // another installation would make the login start something else.
    if (QFile installed(m_installedEntry);
        !m_installedEntry.isEmpty() && installed.open(QIODevice::ReadOnly)) {
        QByteArray copy = installed.readAll();
        if (mainGroup(copy).value(QStringLiteral("Exec")) == execArgument(m_program))
            return copy;
    }
    return entryText(m_program);
}

std::optional<QString> XdgAutostartEntry::registerItem()
{
    const std::optional<QByteArray> text = this->text();
    if (!text)
        return QStringLiteral("chemin du programme inutilisable : ") + m_program;
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("dossier impossible à créer : ") + m_folder;
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(*text) != text->size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> XdgAutostartEntry::unregisterItem()
{
    QFile file(filePath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return file.errorString();
}

} // namespace OrvelanNimbal
