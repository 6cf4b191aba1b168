// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/HttpErrorMapping.h"

#include <QStringDecoder>

namespace OrvelanNimbal {

namespace {

constexpr qsizetype apiBodyPrefixBytes = 500;

bool isTrimmedConflictSpace(QChar c)
{
    // Spaces, tabs and the other Unicode space separators; line breaks stay.
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmedConflictValue(const QString &value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && isTrimmedConflictSpace(value.at(begin)))
        ++begin;
    while (end > begin && isTrimmedConflictSpace(value.at(end - 1)))
        --end;
    return value.mid(begin, end - begin).toLower();
}

DriveError mapConflict(const QByteArray &body, const std::optional<QString> &conflictHeader)
{
    if (!conflictHeader)
        return DriveError::versionConflict();
    const QString value = trimmedConflictValue(*conflictHeader);
    if (value == u"archived")
        return DriveError::archived();
    if (value == u"reinforced")
        return DriveError::reinforced();
    if (value == u"key_in_use")
        return DriveError::http(409, bodyPrefixText(body, apiBodyPrefixBytes));
    return DriveError::versionConflict();
}

} // namespace

QString bodyPrefixText(const QByteArray &body, qsizetype limit)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                     | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(body).first(std::min(limit, body.size())));
    if (decoder.hasError())
        return {};
    return text;
}

DriveError mapHTTPError(int status, const QByteArray &body,
                        const std::optional<QString> &conflictHeader)
{
    switch (status) {
    case 401:
    case 403:
        return DriveError::notAuthenticated();
    case 404:
        return DriveError::notFound();
    case 409:
        return mapConflict(body, conflictHeader);
    case 413:
        return DriveError::payloadTooLarge();
    case 423:
        return DriveError::locked();
    case 507:
        return DriveError::insufficientQuota();
    default:
        return DriveError::http(status, bodyPrefixText(body, apiBodyPrefixBytes));
    }
}

DriveError mapLoginError(int status, const QByteArray &body,
                         const std::optional<QString> &conflictHeader)
{
    if (status == 429)
        return DriveError::tooManyAttempts();
    if (status == 403 && body.contains("two_factor_client_unsupported"))
        return DriveError::twoFactorClientUnsupported();
    return mapHTTPError(status, body, conflictHeader);
}

} // namespace OrvelanNimbal
