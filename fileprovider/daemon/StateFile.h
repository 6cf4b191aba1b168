// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

// The extension's small state files in the shared container, each replaced whole.
namespace OrvelanNimbal::FileProvider::StateFile {

// `name` in the shared container; empty when there is no container.
QString inContainer(const QString &name);
// Replaces `file` atomically with `root`, readable by the user only. False (and logged, with
// `what` naming the file's content) on failure; the old file then stays.
bool save(const QString &file, const QJsonObject &root, const QString &what);

} // namespace OrvelanNimbal::FileProvider::StateFile
