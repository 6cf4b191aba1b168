// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Totp.h"

#include "foundation/Secrets.h"

#include <QMessageAuthenticationCode>
#include <QtEndian>

namespace OrvelanNimbal::Service::Totp {

std::optional<QByteArray> decodeBase32(QStringView text)
{
    QByteArray bytes;
    quint32 buffer = 0;
    int bits = 0;
    bool padding = false;
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (c == u' ' || c == u'-')
            continue;
        if (c == u'=') {
            padding = true;
            continue;
        }
        int value = -1;
        if (c >= u'A' && c <= u'Z')
            value = c - u'A';
        else if (c >= u'a' && c <= u'z')
            value = c - u'a';
        else if (c >= u'2' && c <= u'7')
            value = 26 + (c - u'2');
        if (value < 0 || padding) // an unknown character, or data after the padding
            return std::nullopt;
        buffer = (buffer << 5) | quint32(value);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            bytes.append(char((buffer >> bits) & 0xff));
        }
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

std::int64_t stepAt(std::int64_t unixSeconds)
{
    // Floor division: instants before 1970 belong to negative steps.
    return unixSeconds >= 0 ? unixSeconds / stepSeconds
                            : -((-unixSeconds + stepSeconds - 1) / stepSeconds);
}

QString codeAt(const QByteArray &secret, std::int64_t step)
{
    QByteArray counter(8, Qt::Uninitialized);
    qToBigEndian(quint64(step), counter.data());
    const QByteArray mac =
        QMessageAuthenticationCode::hash(counter, secret, QCryptographicHash::Sha1);
    // Dynamic truncation: the low nibble of the last byte picks four bytes of the MAC.
    const int offset = mac.back() & 0x0f;
    const quint32 value = qFromBigEndian<quint32>(mac.constData() + offset) & 0x7fffffff;
    return QStringLiteral("%1").arg(value % 1'000'000, digits, 10, QLatin1Char('0'));
}

std::optional<std::int64_t> matchingStep(const QByteArray &secret, QStringView code,
                                         std::int64_t unixSeconds, std::int64_t lastUsedStep)
{
    const QByteArray typed = code.trimmed().toUtf8();
    if (typed.size() != digits)
        return std::nullopt;
    const std::int64_t current = stepAt(unixSeconds);
    std::optional<std::int64_t> matched;
    // Every candidate is computed and compared, so the time taken does not tell which matched.
    for (std::int64_t step = current - allowedDriftSteps; step <= current + allowedDriftSteps;
         ++step) {
        if (constantTimeEquals(codeAt(secret, step).toLatin1(), typed) && step > lastUsedStep
            && !matched)
            matched = step;
    }
    return matched;
}

} // namespace OrvelanNimbal::Service::Totp
