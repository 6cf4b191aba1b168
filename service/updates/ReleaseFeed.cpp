// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/ReleaseFeed.h"

#include <QDateTime>
#include <QTimeZone>
#include <QXmlStreamWriter>

namespace OrvelanNimbal::Service {

namespace {

// The clients' namespace for what RSS has no element for.
const QString feedNamespace = QStringLiteral("https://nimbal.orvelan.net/xml/updates");

void writeRelease(QXmlStreamWriter &xml, const Release &release, const QString &origin)
{
    xml.writeStartElement(QStringLiteral("item"));
    xml.writeTextElement(QStringLiteral("title"),
                         QStringLiteral("Orvelan Nimbal ") + release.displayVersion);
    xml.writeTextElement(QStringLiteral("pubDate"),
                         QDateTime::fromSecsSinceEpoch(release.publishedAt, QTimeZone::utc())
                             .toString(Qt::RFC2822Date));
    if (!release.notes.isEmpty())
        xml.writeTextElement(QStringLiteral("description"), release.notes);
    xml.writeTextElement(feedNamespace, QStringLiteral("version"), release.version);
    xml.writeTextElement(feedNamespace, QStringLiteral("displayVersion"), release.displayVersion);
    if (release.minimumSystemVersion)
        xml.writeTextElement(feedNamespace, QStringLiteral("minimumSystemVersion"),
                             *release.minimumSystemVersion);
    if (release.notesLink)
        xml.writeTextElement(feedNamespace, QStringLiteral("releaseNotesLink"), *release.notesLink);
    xml.writeEmptyElement(QStringLiteral("enclosure"));
    xml.writeAttribute(QStringLiteral("url"), origin + QString::fromStdString(updatesPrefix)
                                                  + QStringLiteral("/releases/")
                                                  + release.fileName);
    xml.writeAttribute(QStringLiteral("length"), QString::number(release.length));
    xml.writeAttribute(QStringLiteral("type"), release.type);
    xml.writeAttribute(feedNamespace, QStringLiteral("signature"), release.signature);
    xml.writeEndElement();
}

} // namespace

QByteArray releaseFeed(const std::vector<Release> &releases, const QString &origin)
{
    QByteArray feed;
    QXmlStreamWriter xml(&feed);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeNamespace(feedNamespace, QStringLiteral("nimbal"));
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("channel"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Orvelan Nimbal"));
    xml.writeTextElement(QStringLiteral("link"), origin);
    xml.writeTextElement(QStringLiteral("description"),
                         QStringLiteral("Versions d'Orvelan Nimbal pour Linux"));
    xml.writeTextElement(QStringLiteral("language"), QStringLiteral("fr"));
    for (const Release &release : releases)
        writeRelease(xml, release, origin);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return feed;
}

} // namespace OrvelanNimbal::Service
