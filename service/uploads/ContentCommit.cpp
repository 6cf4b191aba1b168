// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/ContentCommit.h"

#include "auth/Accounts.h"
#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveLookups.h"
#include "drive/DriveMutations.h"
#include "drive/DriveStore.h"
#include "storage/ContentStore.h"
#include "storage/StreamedFile.h"
#include "uploads/UploadLimits.h"

#include <algorithm>

namespace OrvelanNimbal::Service::ContentCommit {

namespace {

// `added` more bytes in place of `removed` must fit in the account's quota.
void requireRoom(DriveChange &change, std::int64_t added, std::int64_t removed)
{
    const auto account = Accounts::findById(change.connection(), change.accountId());
    if (!account)
        throw DriveFailure::notFound(QStringLiteral("ce compte n'existe plus"));
    if (!UploadLimits::fitsQuota(*account, added - removed))
        throw DriveFailure::insufficientQuota();
}

void refuseFrozen(const FileRecord &file)
{
    if (file.locked)
        throw DriveFailure::locked();
    if (file.reinforced)
        throw DriveFailure::reinforced();
    if (file.isArchived())
        throw DriveFailure::archived();
}

void requireGuard(const FileRecord &file, const ReplaceGuard &guard)
{
    if (guard.ifContentHash
        && guard.ifContentHash->compare(file.contentHash, Qt::CaseInsensitive) != 0)
        throw DriveFailure::staleVersion();
    if (guard.ifDateUpload && *guard.ifDateUpload != file.dateUpload)
        throw DriveFailure::staleVersion();
}

// Puts the received file in the store under its key, and takes it out again if `work` throws.
template <class Work>
auto keptUnlessRefused(ServiceContext &context, ReceivedContent &content, Work work)
{
    const ContentStore &store = context.contentStore;
    const auto path = store.pathOf(content.key);
    if (!path)
        throw std::runtime_error("clé de contenu malformée");
    keepFile(content.file, *path);
    try {
        return work();
    } catch (...) {
        store.remove(content.key);
        throw;
    }
}

} // namespace

void requireAnnouncedHash(const ReceivedContent &content, const std::optional<QString> &announced)
{
    if (announced && announced->compare(content.hash, Qt::CaseInsensitive) != 0)
        throw DriveFailure::mismatch(
            QStringLiteral("hash_mismatch"),
            QStringLiteral("le contenu reçu n'a pas l'empreinte annoncée : il a changé pendant "
                           "l'envoi ou a été abîmé en route"));
}

FileRecord create(ServiceContext &context, std::int64_t accountId, ReceivedContent content,
                  const QString &name, std::int64_t folderId)
{
    return keptUnlessRefused(context, content, [&] {
        return changeDrive(context, accountId, [&](DriveChange &change) {
            requireRoom(change, content.size, 0);
            FileRecord file;
            file.name = name;
            file.folderId = folderId;
            file.size = content.size;
            file.contentKey = content.key;
            file.contentHash = content.hash;
            if (!content.contentType.isEmpty())
                file.contentType = content.contentType;
            return DriveMutations::addFile(change, file);
        });
    });
}

FileRecord replace(ServiceContext &context, std::int64_t accountId, std::int64_t fileId,
                   ReceivedContent content, const ReplaceGuard &guard)
{
    QString replacedKey;
    FileRecord replaced = keptUnlessRefused(context, content, [&] {
        return changeDrive(context, accountId, [&](DriveChange &change) {
            FileRecord file = DriveLookups::liveFile(change.connection(), accountId, fileId);
            refuseFrozen(file);
            requireGuard(file, guard);
            requireRoom(change, content.size, file.size);
            replacedKey = file.contentKey;
            file.contentKey = content.key;
            file.contentHash = content.hash;
            file.size = content.size;
            if (!content.contentType.isEmpty())
                file.contentType = content.contentType;
            file.dateModified = change.now();
            file.dateUpload = std::max(change.now(), file.dateUpload + 1);
            DriveStore::updateFile(change.connection(), file, change.cursor());
            return file;
        });
    });
    // Downloads of the old content that are under way keep reading it: an open file outlives
    // its name.
    if (replacedKey != replaced.contentKey)
        context.contentStore.remove(replacedKey);
    return replaced;
}

} // namespace OrvelanNimbal::Service::ContentCommit
