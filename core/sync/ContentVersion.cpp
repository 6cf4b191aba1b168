// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/ContentVersion.h"

#include <charconv>

namespace OrvelanNimbal::ContentVersion {

namespace {

// The first pieces of a token split at ":", empty pieces skipped; after the second piece the
// rest stays whole, so that a hash or a future field may itself hold ":".
QList<QStringView> pieces(QStringView token)
{
    QList<QStringView> result;
    qsizetype start = 0;
    while (result.size() < 2) {
        const qsizetype colon = token.indexOf(u':', start);
        const qsizetype end = colon < 0 ? token.size() : colon;
        if (end > start)
            result.append(token.sliced(start, end - start));
        if (colon < 0)
            return result;
        start = colon + 1;
    }
    if (start < token.size())
        result.append(token.sliced(start));
    return result;
}

// An optional "+" or "-" and then decimal digits only, within 64 bits.
std::optional<qint64> strictInt64(QStringView text)
{
    qsizetype firstDigit = 0;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-'))
        firstDigit = 1;
    if (firstDigit == text.size())
        return std::nullopt;
    for (qsizetype i = firstDigit; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    }
    // from_chars reads a "-" but not a "+": hand it the digits with at most the minus sign.
    const QByteArray latin1 = text.sliced(text.front() == u'+' ? 1 : 0).toLatin1();
    qint64 value = 0;
    const auto [end, error] =
        std::from_chars(latin1.constData(), latin1.constData() + latin1.size(), value);
    if (error != std::errc() || end != latin1.constData() + latin1.size())
        return std::nullopt;
    return value;
}

qint64 wholeSecondsSinceEpoch(const QDateTime &instant)
{
    if (!instant.isValid())
        return 0;
    return instant.toMSecsSinceEpoch() / 1000; // the fraction dropped toward zero
}

} // namespace

QString token(const DriveFile &file)
{
    if (file.uploadTimestamp)
        return QStringLiteral("u:%1:%2").arg(*file.uploadTimestamp).arg(file.size);
    if (file.contentHash)
        return QStringLiteral("h:") + *file.contentHash;
    return QStringLiteral("m:%1:%2").arg(file.size).arg(wholeSecondsSinceEpoch(file.modifiedAt));
}

ReplacePrecondition precondition(QStringView token)
{
    const QList<QStringView> parts = pieces(token);
    if (parts.size() < 2)
        return {};
    if (parts[0] == u"h")
        return {parts[1].toString(), std::nullopt};
    if (parts[0] == u"u") {
        // An unreadable time guards nothing rather than something wrong.
        if (const auto date = strictInt64(parts[1]))
            return {std::nullopt, date};
    }
    return {};
}

} // namespace OrvelanNimbal::ContentVersion
