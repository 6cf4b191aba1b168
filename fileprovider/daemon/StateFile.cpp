// SPDX-License-Identifier: GPL-3.0-or-later
#include "daemon/StateFile.h"

#include "Logging.h"
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>

namespace OrvelanNimbal::FileProvider::StateFile {

QString inContainer(const QString &name)
{
    const auto container = appGroupContainerURL();
    return container ? QDir(container->toLocalFile()).filePath(name) : QString();
}

bool save(const QString &file, const QJsonObject &root, const QString &what)
{
    QSaveFile saved(file);
    if (saved.open(QIODevice::WriteOnly)) {
        saved.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        saved.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
        if (saved.commit())
            return true;
    }
    qCWarning(logExtension).noquote()
        << QStringLiteral("%1 non enregistré : %2").arg(what, saved.errorString());
    return false;
}

} // namespace OrvelanNimbal::FileProvider::StateFile
