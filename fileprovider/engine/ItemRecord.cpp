// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ItemRecord.h"

namespace OrvelanNimbal::FileProvider {

namespace {

qint64 parentOf(const std::optional<qint64> &parentID)
{
    // A parent that is missing or below 1 is the drive's root.
    return parentID && *parentID > 0 ? *parentID : 0;
}

} // namespace

QString ItemKey::text() const
{
    return (isFolder() ? QStringLiteral("d:") : QStringLiteral("f:")) + QString::number(id);
}

bool remoteContentChanged(const RemoteState &remote, const BaseState &base)
{
    if (remote.size != base.size)
        return true;
    // The hash says whether the bytes differ; without one, only the version can.
    if (!remote.contentHash.isEmpty() && !base.contentHash.isEmpty())
        return remote.contentHash != base.contentHash;
    return remote.uploaded != base.uploaded;
}

bool remoteVersionMoved(const RemoteState &remote, const BaseState &base)
{
    return !remoteContentChanged(remote, base) && remote.uploaded != base.uploaded;
}

RemoteState remoteState(const DriveFolder &folder)
{
    RemoteState state;
    state.parentID = parentOf(folder.parentFolderID);
    state.name = folder.name;
    state.modified = folder.modifiedAt.toSecsSinceEpoch();
    state.present = !folder.isTrashed;
    return state;
}

RemoteState remoteState(const DriveFile &file)
{
    RemoteState state;
    state.parentID = parentOf(file.parentFolderID);
    state.name = file.name;
    state.size = file.size;
    state.contentHash = file.contentHash.value_or(QString());
    state.uploaded = file.uploadTimestamp.value_or(0);
    state.modified = file.modifiedAt.toSecsSinceEpoch();
    state.storageClass = file.storageClass;
    state.present = !file.isTrashed;
    return state;
}

} // namespace OrvelanNimbal::FileProvider
