// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextBoundaryFinder>

namespace OrvelanNimbal {

namespace {

QUrl compiledInURL(const char *text)
{
    QUrl url(QString::fromUtf8(text), QUrl::StrictMode);
    // The text is fixed at build time: a bad one is a programming error, not a runtime state.
    Q_ASSERT_X(url.isValid() && !url.scheme().isEmpty(), "compiledInURL", text);
    return url;
}

std::optional<QUrl> containerFile(const QString &name)
{
    const auto container = appGroupContainerURL();
    if (!container)
        return std::nullopt;
    return QUrl::fromLocalFile(QDir(container->toLocalFile()).filePath(name));
}

} // namespace

const QUrl &defaultAPIBaseURL()
{
    static const QUrl url = compiledInURL(NIMBAL_API_BASE_URL);
    return url;
}

const QUrl &defaultEventsBaseURL()
{
    static const QUrl url = compiledInURL(NIMBAL_EVENTS_BASE_URL);
    return url;
}

std::optional<QUrl> appGroupContainerURL()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return std::nullopt;
    const QString path = QDir(dataHome).filePath(QStringLiteral("net.orvelan.nimbal"));
    if (!QDir().mkpath(path))
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

QString accountFileKey(const QString &account)
{
    const QString lowered = account.toLower();
    // Walk user-perceived characters so a separator never splits a combined character.
    QString key;
    key.reserve(lowered.size());
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, lowered);
    qsizetype start = 0;
    for (qsizetype end = boundaries.toNextBoundary(); end != -1;
         end = boundaries.toNextBoundary()) {
        const QStringView character = QStringView(lowered).mid(start, end - start);
        if (character == u"/" || character == u":" || character == u"\\")
            key += u'_';
        else
            key += character;
        start = end;
    }
    return key;
}

std::optional<QUrl> itemStoreURL(const QString &account)
{
    return containerFile(QStringLiteral("item-store-") + accountFileKey(account)
                         + QStringLiteral(".json"));
}

std::optional<QUrl> summaryURL(const QString &account)
{
    return containerFile(QStringLiteral("summary-") + accountFileKey(account)
                         + QStringLiteral(".json"));
}

void removeLocalState(const QString &account)
{
    const std::optional<QUrl> files[] = {itemStoreURL(account), summaryURL(account),
                                         containerFile(QStringLiteral("item-store.json"))};
    for (const auto &file : files) {
        if (file)
            QFile::remove(file->toLocalFile()); // most often the file simply does not exist
    }
}

} // namespace OrvelanNimbal
