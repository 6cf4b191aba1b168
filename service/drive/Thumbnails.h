// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace OrvelanNimbal::Service {

class Connection;

// The small images a file's thumbnail keys name, kept per account. A key is whatever text the
// file record carries, spaces and "&" included; it is served under a number of its own.
namespace Thumbnails {

struct Image {
    QString contentType;
    QByteArray bytes;
};

// Keeps the image of a key, replacing the one it had.
void put(Connection &connection, std::int64_t accountId, const QString &key, const Image &image);
// The number under which the image of a key of the account is served; nothing when the
// account has no such key.
std::optional<std::int64_t> idOf(Connection &connection, std::int64_t accountId,
                                 const QString &key);
std::optional<Image> image(Connection &connection, std::int64_t id);

} // namespace Thumbnails

} // namespace OrvelanNimbal::Service
