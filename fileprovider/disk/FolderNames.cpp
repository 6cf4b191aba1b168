// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/FolderNames.h"

#include <QFile>
#include <QStringDecoder>

#include <cstring>
#include <dirent.h>

namespace OrvelanNimbal::FileProvider {

std::optional<QString> decodedName(const char *bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                     | QStringDecoder::Flag::ConvertInitialBom);
    QString name = decoder(QByteArrayView(bytes));
    if (decoder.hasError())
        return std::nullopt;
    return name;
}

QStringList namesIn(const QString &folder, int *undecodable)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (const std::optional<QString> name = decodedName(entry->d_name))
            names.append(*name);
        else if (undecodable)
            ++*undecodable;
    }
    ::closedir(dir);
    return names;
}

} // namespace OrvelanNimbal::FileProvider
