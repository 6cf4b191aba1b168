// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncNaming.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace OrvelanNimbal::SyncNaming {

namespace {

// The index of the dot that starts the extension, or -1 when the name has none.
qsizetype extensionDot(const QString &name)
{
    qsizetype lastDot = -1;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, name);
    qsizetype start = 0;
    for (qsizetype end = characters.toNextBoundary(); end != -1;
         end = characters.toNextBoundary()) {
        // A dot followed by a combining mark is another character that merely looks like one.
        if (end - start == 1 && name[start] == u'.')
            lastDot = start;
        start = end;
    }
    const bool leading = lastDot == 0; // a hidden file's name, not an extension
    const bool trailing = lastDot == name.size() - 1;
    return lastDot < 0 || leading || trailing ? -1 : lastDot;
}

QString stamp(const QDateTime &instant, const QTimeZone &timeZone)
{
    if (!instant.isValid())
        return QStringLiteral("0000-00-00 00h00");
    // A zone that cannot be read still gives a usable name: fall back to UTC.
    const QDateTime local = instant.toTimeZone(timeZone.isValid() ? timeZone : QTimeZone::utc());
    const QDate date = local.date();
    const QTime time = local.time();
    return QString::asprintf("%04d-%02d-%02d %02dh%02d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute());
}

} // namespace

bool isExcludedFromSync(QStringView name)
{
    return name == u".DS_Store" || name == u".localized" || name == u"Icon\r"
           || name.startsWith(u"._") || (name.startsWith(u".~lock.") && name.endsWith(u'#'))
           || name.startsWith(u"~$");
}

QString conflictCopyName(const QString &name, const QDateTime &instant, const QTimeZone &timeZone,
                         QStringView system)
{
    const QString suffix =
        QStringLiteral(" (conflit ") + system.toString() + u' ' + stamp(instant, timeZone) + u')';
    const qsizetype dot = extensionDot(name);
    if (dot < 0)
        return name + suffix;
    return name.first(dot) + suffix + name.sliced(dot);
}

// The pattern carries the system's word, so it is made per call rather than once.
// clazy:excludeall=use-static-qregularexpression
QString conflictCopyOrigin(const QString &name, QStringView system)
{
    const QRegularExpression copy(
        QStringLiteral(
            "^(.+) \\(conflit %1(?: [0-9]+)? [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}h[0-9]{2}\\)$")
            .arg(QRegularExpression::escape(system.toString())));
    // The suffix ends the name, or comes just before the extension, split as when it was added.
    if (const QRegularExpressionMatch whole = copy.match(name); whole.hasMatch())
        return whole.captured(1);
    const qsizetype dot = extensionDot(name);
    if (dot < 0)
        return name;
    const QRegularExpressionMatch base = copy.match(name.first(dot));
    return base.hasMatch() ? base.captured(1) + name.sliced(dot) : name;
}

} // namespace OrvelanNimbal::SyncNaming
