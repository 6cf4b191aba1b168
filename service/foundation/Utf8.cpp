// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Utf8.h"

#include <QStringDecoder>

namespace OrvelanNimbal::Service {

namespace {

QString decode(std::string_view bytes, bool &failed)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    failed = decoder.hasError();
    return text;
}

} // namespace

QString decodeUtf8(std::string_view bytes)
{
    bool failed = false;
    return decode(bytes, failed);
}

std::optional<QString> decodeUtf8Strictly(std::string_view bytes)
{
    bool failed = false;
    QString text = decode(bytes, failed);
    if (failed)
        return std::nullopt;
    return text;
}

} // namespace OrvelanNimbal::Service
