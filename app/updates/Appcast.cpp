// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/Appcast.h"

#include "updates/UpdateError.h"
#include "updates/UpdateLogging_p.h"

#include <QHostAddress>
#include <QXmlStreamReader>

namespace OrvelanNimbal {

namespace {

// An item's pieces as the feed wrote them, before they are checked.
struct RawItem {
    QString title;
    QString publishedAt;
    QString description;
    QString version;
    QString displayVersion;
    QString minimumSystemVersion;
    QString releaseNotesLink;
    QString enclosureURL;
    QString enclosureLength;
    QString enclosureType;
    QString signature;
};

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    return host == u"localhost" || QHostAddress(host).isLoopback();
}

// Signed bytes would survive a plain-text connection, but their address and length tell an
// eavesdropper what is installed, and a stranger could swap in garbage: https only.
bool isAcceptableDownload(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == u"https" || (url.scheme() == u"http" && isLoopback(url)));
}

RawItem readItem(QXmlStreamReader &reader)
{
    RawItem raw;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (reader.namespaceUri() == appcastNamespace) {
            if (name == u"version")
                raw.version = reader.readElementText();
            else if (name == u"displayVersion")
                raw.displayVersion = reader.readElementText();
            else if (name == u"minimumSystemVersion")
                raw.minimumSystemVersion = reader.readElementText();
            else if (name == u"releaseNotesLink")
                raw.releaseNotesLink = reader.readElementText().trimmed();
            else
                reader.skipCurrentElement();
        } else if (reader.namespaceUri().isEmpty()) {
            if (name == u"title") {
                raw.title = reader.readElementText().trimmed();
            } else if (name == u"pubDate") {
                raw.publishedAt = reader.readElementText().trimmed();
            } else if (name == u"description") {
                raw.description =
                    reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            } else if (name == u"enclosure") {
                const QXmlStreamAttributes attributes = reader.attributes();
                raw.enclosureURL = attributes.value(QLatin1String("url")).trimmed().toString();
                raw.enclosureLength =
                    attributes.value(QLatin1String("length")).trimmed().toString();
                raw.enclosureType = attributes.value(QLatin1String("type")).trimmed().toString();
                raw.signature =
                    attributes.value(appcastNamespace, QLatin1String("signature")).toString();
                reader.skipCurrentElement();
            } else {
                reader.skipCurrentElement();
            }
        } else {
            reader.skipCurrentElement();
        }
    }
    return raw;
}

std::optional<AppcastItem> checkedItem(const RawItem &raw, const QUrl &feedURL)
{
    const auto refuse = [&](const char *why) {
        qCWarning(lcUpdates, "release \"%s\" left out of the feed: %s",
                  qUtf8Printable(raw.title.isEmpty() ? raw.version : raw.title), why);
        return std::nullopt;
    };
    const auto version = UpdateVersion::parse(raw.version);
    if (!version)
        return refuse("no usable version");
    AppcastItem item;
    item.title = raw.title;
    item.version = *version;
    item.displayVersion = raw.displayVersion.trimmed();
    if (item.displayVersion.isEmpty())
        item.displayVersion = version->text();
    if (!raw.minimumSystemVersion.trimmed().isEmpty()) {
        item.minimumSystemVersion = UpdateVersion::parse(raw.minimumSystemVersion);
        if (!item.minimumSystemVersion)
            return refuse("unreadable minimum system version");
    }
    item.releaseNotes = raw.description;
    // Notes are a courtesy: a link that is not a web page is dropped, the release is kept.
    const QUrl notesLink(raw.releaseNotesLink);
    if (notesLink.isValid() && (notesLink.scheme() == u"https" || notesLink.scheme() == u"http"))
        item.releaseNotesLink = notesLink;
    if (const QDateTime date = QDateTime::fromString(raw.publishedAt, Qt::RFC2822Date);
        date.isValid())
        item.publishedAt = date;

    item.enclosureURL = feedURL.resolved(QUrl(raw.enclosureURL));
    if (raw.enclosureURL.isEmpty() || !isAcceptableDownload(item.enclosureURL))
        return refuse("no usable download address");
    bool lengthOk = false;
    item.enclosureLength = raw.enclosureLength.toLongLong(&lengthOk);
    if (!lengthOk || item.enclosureLength <= 0)
        return refuse("no usable download length");
    item.enclosureType = raw.enclosureType.isEmpty() ? QStringLiteral("application/octet-stream")
                                                     : raw.enclosureType;
    item.signature = raw.signature.trimmed().toLatin1();
    return item;
}

} // namespace

QList<AppcastItem> parseAppcast(const QByteArray &xml, const QUrl &feedURL)
{
    QXmlStreamReader reader(xml);
    QList<AppcastItem> items;
    bool sawChannel = false;
    if (reader.readNextStartElement() && reader.name() == u"rss"
        && reader.namespaceUri().isEmpty()) {
        while (reader.readNextStartElement()) {
            if (reader.name() != u"channel" || sawChannel) {
                reader.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (reader.readNextStartElement()) {
                if (reader.name() != u"item") {
                    reader.skipCurrentElement();
                    continue;
                }
                if (const auto item = checkedItem(readItem(reader), feedURL))
                    items.append(*item);
            }
        }
    }
    // Read to the end, so that a fault after the channel is noticed too.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError() || !sawChannel) {
        qCWarning(lcUpdates, "unreadable release feed: %s",
                  reader.hasError() ? qUtf8Printable(reader.errorString()) : "no RSS channel");
        throw UpdateError(UpdateError::Kind::feedUnreadable);
    }
    return items;
}

std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items,
                                        const UpdateVersion &current,
                                        const std::optional<UpdateVersion> &system)
{
    const AppcastItem *newest = nullptr;
    for (const AppcastItem &item : items) {
        if (item.version <= current || (newest && item.version <= newest->version))
            continue;
        if (system && item.minimumSystemVersion && *system < *item.minimumSystemVersion)
            continue;
        newest = &item;
    }
    return newest ? std::optional(*newest) : std::nullopt;
}

} // namespace OrvelanNimbal
