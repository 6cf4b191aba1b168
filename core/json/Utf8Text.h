// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace OrvelanNimbal {

// Text that came as UTF-8 (a name, a line of the event stream, a token), every character kept.
// QString::fromUtf8 and a default QStringDecoder take a leading U+FEFF for a byte-order mark and
// drop it: a file named "\uFEFFx" would silently become "x". Invalid sequences become U+FFFD, as
// with fromUtf8.
inline QString utf8Text(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                     | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace OrvelanNimbal
